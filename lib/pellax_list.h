/* Doubly linked list of opaque pointers with independent cursors. A list created with a free
 * function owns its nodes' data. Operations do not check their pointers: callers pass valid
 * records. */
#ifndef PELLAX_LIST_H
#define PELLAX_LIST_H

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

extern const char PX_LIST_NAME[];   /* "PXLIST" */
extern const char PX_CURSOR_NAME[]; /* "PXLCSR" */

typedef void (*PELLAX_LIST_FREE_FUNC)(const PELLAX_PLT_FUNCS *plt, void *data);

typedef struct PELLAX_LIST_NODE {
    const char *tag;
    void *data;
    struct PELLAX_LIST_NODE *prev;
    struct PELLAX_LIST_NODE *next;
} PELLAX_LIST_NODE;

typedef struct PELLAX_LIST {
    const char *tag;
    PELLAX_LIST_NODE *head;
    PELLAX_LIST_NODE *tail;
    PELLAX_LIST_FREE_FUNC free_func;
    PX_UINT32 count;
} PELLAX_LIST;

typedef struct PELLAX_LIST_CURSOR {
    const char *tag;
    PELLAX_LIST *list;
    PELLAX_LIST_NODE *current; /* null: before the first node */
} PELLAX_LIST_CURSOR;

PELLAX_ERROR_CODE pellax_list_create(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_FREE_FUNC free_func,
                                     PELLAX_LIST **list);
PELLAX_ERROR_CODE pellax_list_add(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list, void *data);
PELLAX_ERROR_CODE pellax_list_get_head(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list, void **data);
PELLAX_ERROR_CODE pellax_list_get_tail(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list, void **data);
void pellax_list_free(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list);

PELLAX_ERROR_CODE pellax_list_cursor_create(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list,
                                            PELLAX_LIST_CURSOR **cursor);
PELLAX_ERROR_CODE pellax_list_cursor_copy(const PELLAX_PLT_FUNCS *plt,
                                          const PELLAX_LIST_CURSOR *cursor,
                                          PELLAX_LIST_CURSOR **copy);
/* Truth values, not codes: 1 when the cursor moved. */
int pellax_list_cursor_move_next(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_CURSOR *cursor);
int pellax_list_cursor_move_prev(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_CURSOR *cursor);
PELLAX_ERROR_CODE pellax_list_cursor_current(const PELLAX_PLT_FUNCS *plt,
                                             const PELLAX_LIST_CURSOR *cursor, void **data);
void pellax_list_cursor_reset(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_CURSOR *cursor);
/* The cursor moves to the removed node's successor (null after the last node). */
PELLAX_ERROR_CODE pellax_list_cursor_remove_current_node(const PELLAX_PLT_FUNCS *plt,
                                                         PELLAX_LIST_CURSOR *cursor);
void pellax_list_cursor_free(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_CURSOR *cursor);

PELLAX_EXTERN_C_END

#endif
