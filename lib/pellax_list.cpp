#include "pellax_list.h"

#include "pellax_log.h"

const char PX_LIST_NAME[] = "PXLIST";
const char PX_CURSOR_NAME[] = "PXLCSR";

namespace {

const char kModule[] = "pellax_list";

// Every record of this module comes from the host zeroed, or not at all.
template <typename T>
T *alloc_record(const PELLAX_PLT_FUNCS *plt) {
    T *record = static_cast<T *>(pellax_malloc_zeroed(&plt->sys, sizeof(T)));
    if (record == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.",
                     static_cast<unsigned>(sizeof(T)));
    }
    return record;
}

PELLAX_ERROR_CODE node_data(const PELLAX_LIST_NODE *node, void **data) {
    if (node == nullptr) {
        return PELLAX_ERR_NODE_NOT_FOUND;
    }
    *data = node->data;
    return node->data == nullptr ? PELLAX_ERR_NODE_NO_DATA : PELLAX_OK;
}

PELLAX_ERROR_CODE insert_px_list_node(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list, void *data) {
    PELLAX_LIST_NODE *node = alloc_record<PELLAX_LIST_NODE>(plt);
    if (node == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    node->tag = PX_LIST_NAME;
    node->data = data;
    node->prev = list->tail;
    node->next = nullptr;
    if (list->tail != nullptr) {
        list->tail->next = node;
    } else {
        list->head = node;
    }
    list->tail = node;
    ++list->count;
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE pellax_list_create(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_FREE_FUNC free_func,
                                     PELLAX_LIST **list) {
    PELLAX_LIST *created = alloc_record<PELLAX_LIST>(plt);
    if (created == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    created->tag = PX_LIST_NAME;
    created->free_func = free_func;
    *list = created;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_list_add(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list, void *data) {
    PELLAX_ERROR_CODE rc = insert_px_list_node(plt, list, data);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "insert_px_list_node error.");
    }
    return rc;
}

PELLAX_ERROR_CODE pellax_list_get_head(const PELLAX_PLT_FUNCS *, PELLAX_LIST *list, void **data) {
    return node_data(list->head, data);
}

PELLAX_ERROR_CODE pellax_list_get_tail(const PELLAX_PLT_FUNCS *, PELLAX_LIST *list, void **data) {
    return node_data(list->tail, data);
}

void pellax_list_free(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list) {
    if (list == nullptr) {
        return;
    }
    PELLAX_LIST_NODE *node = list->head;
    while (node != nullptr) {
        PELLAX_LIST_NODE *next = node->next;
        if (list->free_func != nullptr) {
            list->free_func(plt, node->data);
        }
        pellax_free(&plt->sys, node);
        node = next;
    }
    pellax_free(&plt->sys, list);
}

PELLAX_ERROR_CODE pellax_list_cursor_create(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list,
                                            PELLAX_LIST_CURSOR **cursor) {
    PELLAX_LIST_CURSOR *created = alloc_record<PELLAX_LIST_CURSOR>(plt);
    if (created == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    created->tag = PX_CURSOR_NAME;
    created->list = list;
    created->current = nullptr;
    *cursor = created;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_list_cursor_copy(const PELLAX_PLT_FUNCS *plt,
                                          const PELLAX_LIST_CURSOR *cursor,
                                          PELLAX_LIST_CURSOR **copy) {
    PELLAX_LIST_CURSOR *created = alloc_record<PELLAX_LIST_CURSOR>(plt);
    if (created == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    created->tag = PX_CURSOR_NAME;
    created->list = cursor->list;
    created->current = cursor->current;
    *copy = created;
    return PELLAX_OK;
}

int pellax_list_cursor_move_next(const PELLAX_PLT_FUNCS *, PELLAX_LIST_CURSOR *cursor) {
    PELLAX_LIST_NODE *target =
        cursor->current != nullptr ? cursor->current->next : cursor->list->head;
    if (target == nullptr) {
        return 0;
    }
    cursor->current = target;
    return 1;
}

int pellax_list_cursor_move_prev(const PELLAX_PLT_FUNCS *, PELLAX_LIST_CURSOR *cursor) {
    PELLAX_LIST_NODE *target =
        cursor->current != nullptr ? cursor->current->prev : cursor->list->tail;
    if (target == nullptr) {
        return 0;
    }
    cursor->current = target;
    return 1;
}

PELLAX_ERROR_CODE pellax_list_cursor_current(const PELLAX_PLT_FUNCS *,
                                             const PELLAX_LIST_CURSOR *cursor, void **data) {
    return node_data(cursor->current, data);
}

void pellax_list_cursor_reset(const PELLAX_PLT_FUNCS *, PELLAX_LIST_CURSOR *cursor) {
    cursor->current = nullptr;
}

PELLAX_ERROR_CODE pellax_list_cursor_remove_current_node(const PELLAX_PLT_FUNCS *plt,
                                                         PELLAX_LIST_CURSOR *cursor) {
    PELLAX_LIST_NODE *node = cursor->current;
    if (node == nullptr) {
        return PELLAX_ERR_NODE_NOT_FOUND;
    }
    PELLAX_LIST *list = cursor->list;
    if (node->prev != nullptr) {
        node->prev->next = node->next;
    }
    if (node->next != nullptr) {
        node->next->prev = node->prev;
    }
    if (list->tail == node) {
        list->tail = node->prev;
    }
    if (list->head == node) {
        list->head = node->next;
    }
    // The cursor already stands on the successor, so a following move_next skips it.
    cursor->current = node->next;
    if (list->free_func != nullptr) {
        list->free_func(plt, node->data);
    }
    pellax_free(&plt->sys, node);
    --list->count;
    return PELLAX_OK;
}

void pellax_list_cursor_free(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_CURSOR *cursor) {
    if (cursor != nullptr) {
        pellax_free(&plt->sys, cursor);
    }
}
