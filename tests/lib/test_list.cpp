// List and cursor: order, walking both ways, removal under a cursor, ownership of data.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pellax_list.h"
#include "test_host.h"

namespace {

std::vector<std::string> g_freed;

void free_name(const PELLAX_PLT_FUNCS *, void *data) {
    g_freed.push_back(static_cast<const char *>(data));
}

char kA[] = "A", kB[] = "B", kC[] = "C";

struct Abc {
    TestHost &host;
    PELLAX_LIST *list = nullptr;
    PELLAX_LIST_CURSOR *cursor = nullptr;
    explicit Abc(TestHost &h, PELLAX_LIST_FREE_FUNC f = free_name) : host(h) {
        g_freed.clear();
        EXPECT_EQ(pellax_list_create(&host.plt, f, &list), 0u);
        for (char *d : {kA, kB, kC}) {
            EXPECT_EQ(pellax_list_add(&host.plt, list, d), 0u);
        }
        EXPECT_EQ(pellax_list_cursor_create(&host.plt, list, &cursor), 0u);
    }
    ~Abc() {
        pellax_list_cursor_free(&host.plt, cursor);
        pellax_list_free(&host.plt, list);
    }
    std::string current() const {
        void *d = nullptr;
        return pellax_list_cursor_current(&host.plt, cursor, &d) == 0 ? static_cast<char *>(d)
                                                                      : "-";
    }
    // The whole list from the head, through a fresh cursor.
    std::string contents() const {
        PELLAX_LIST_CURSOR *c = nullptr;
        EXPECT_EQ(pellax_list_cursor_create(&host.plt, list, &c), 0u);
        std::string s;
        while (pellax_list_cursor_move_next(&host.plt, c) == 1) {
            void *d = nullptr;
            EXPECT_EQ(pellax_list_cursor_current(&host.plt, c, &d), 0u);
            s += static_cast<char *>(d);
        }
        pellax_list_cursor_free(&host.plt, c);
        return s;
    }
};

TEST(List, EmptyList) {
    TestHost host;
    PELLAX_LIST *list = nullptr;
    ASSERT_EQ(pellax_list_create(&host.plt, nullptr, &list), 0u);
    EXPECT_STREQ(list->tag, "PXLIST");
    void *d = &host;
    EXPECT_EQ(pellax_list_get_head(&host.plt, list, &d), 11u);
    EXPECT_EQ(pellax_list_get_tail(&host.plt, list, &d), 11u);
    EXPECT_EQ(d, &host);
    PELLAX_LIST_CURSOR *c = nullptr;
    ASSERT_EQ(pellax_list_cursor_create(&host.plt, list, &c), 0u);
    EXPECT_STREQ(c->tag, "PXLCSR");
    EXPECT_EQ(pellax_list_cursor_move_next(&host.plt, c), 0);
    EXPECT_EQ(pellax_list_cursor_move_prev(&host.plt, c), 0);
    EXPECT_EQ(c->current, nullptr);
    EXPECT_EQ(pellax_list_cursor_remove_current_node(&host.plt, c), 11u);
    pellax_list_cursor_free(&host.plt, c);
    pellax_list_free(&host.plt, list);
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(List, WalkBothWaysAndCopy) {
    TestHost host;
    Abc l(host);
    std::string seen;
    while (pellax_list_cursor_move_next(&host.plt, l.cursor) == 1) {
        seen += l.current();
    }
    EXPECT_EQ(seen, "ABC");
    EXPECT_EQ(l.current(), "C");  // stays on the last node
    pellax_list_cursor_reset(&host.plt, l.cursor);
    ASSERT_EQ(pellax_list_cursor_move_prev(&host.plt, l.cursor), 1);
    EXPECT_EQ(l.current(), "C");

    PELLAX_LIST_CURSOR *copy = nullptr;
    ASSERT_EQ(pellax_list_cursor_copy(&host.plt, l.cursor, &copy), 0u);
    ASSERT_EQ(pellax_list_cursor_move_prev(&host.plt, copy), 1);
    EXPECT_EQ(l.current(), "C");
    EXPECT_EQ(static_cast<char *>(copy->current->data), std::string("B"));
    pellax_list_cursor_free(&host.plt, copy);

    void *d = nullptr;
    ASSERT_EQ(pellax_list_get_head(&host.plt, l.list, &d), 0u);
    EXPECT_EQ(d, kA);
    ASSERT_EQ(pellax_list_get_tail(&host.plt, l.list, &d), 0u);
    EXPECT_EQ(d, kC);
}

TEST(List, RemoveUnderTheCursor) {
    TestHost host;
    Abc l(host);
    ASSERT_EQ(pellax_list_cursor_move_next(&host.plt, l.cursor), 1);
    ASSERT_EQ(pellax_list_cursor_move_next(&host.plt, l.cursor), 1);  // on B
    ASSERT_EQ(pellax_list_cursor_remove_current_node(&host.plt, l.cursor), 0u);
    EXPECT_EQ(l.contents(), "AC");
    EXPECT_EQ(l.current(), "C");
    EXPECT_EQ(l.list->count, 2u);
    EXPECT_EQ(g_freed, std::vector<std::string>{"B"});

    ASSERT_EQ(pellax_list_cursor_remove_current_node(&host.plt, l.cursor), 0u);  // C, the tail
    EXPECT_EQ(l.contents(), "A");
    EXPECT_EQ(l.cursor->current, nullptr);
    void *d = nullptr;
    ASSERT_EQ(pellax_list_get_tail(&host.plt, l.list, &d), 0u);
    EXPECT_EQ(d, kA);
    // From the start again: the next move lands on the head.
    ASSERT_EQ(pellax_list_cursor_move_next(&host.plt, l.cursor), 1);
    ASSERT_EQ(pellax_list_cursor_remove_current_node(&host.plt, l.cursor), 0u);
    EXPECT_EQ(l.list->head, nullptr);
    EXPECT_EQ(l.list->tail, nullptr);
    EXPECT_EQ(l.list->count, 0u);
    EXPECT_EQ(pellax_list_add(&host.plt, l.list, kB), 0u);  // usable again
    EXPECT_EQ(l.contents(), "B");
}

TEST(List, FreeReleasesDataInOrder) {
    TestHost host;
    { Abc l(host); }
    EXPECT_EQ(g_freed, (std::vector<std::string>{"A", "B", "C"}));
    {
        Abc l(host, nullptr);  // a view: the data stays with its owner
    }
    EXPECT_TRUE(g_freed.empty());
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(List, NullDataAndAllocationFailure) {
    TestHost host;
    PELLAX_LIST *list = nullptr;
    ASSERT_EQ(pellax_list_create(&host.plt, nullptr, &list), 0u);
    ASSERT_EQ(pellax_list_add(&host.plt, list, nullptr), 0u);
    void *d = &host;
    EXPECT_EQ(pellax_list_get_head(&host.plt, list, &d), 26u);
    EXPECT_EQ(d, nullptr);

    host.fail_malloc_at = host.malloc_calls + 1;
    EXPECT_EQ(pellax_list_add(&host.plt, list, kA), 1u);
    EXPECT_TRUE(host.logged(1, "insert_px_list_node error."));
    EXPECT_EQ(list->count, 1u);
    PELLAX_LIST_CURSOR *c = nullptr;
    host.fail_malloc_at = host.malloc_calls + 1;
    EXPECT_EQ(pellax_list_cursor_create(&host.plt, list, &c), 1u);
    host.fail_malloc_at = host.malloc_calls + 1;
    PELLAX_LIST *other = nullptr;
    EXPECT_EQ(pellax_list_create(&host.plt, nullptr, &other), 1u);
    char want[64];
    std::snprintf(want, sizeof want, "Alloc memory error, alloc size: 0x%x.",
                  static_cast<unsigned>(sizeof(PELLAX_LIST)));
    EXPECT_EQ(host.logs.back().message, want);
    pellax_list_free(&host.plt, list);
    EXPECT_EQ(host.live_blocks, 0);
}

}  // namespace
