#pragma once
// The stock editing and pane commands the accelerator table carries; nothing handles them, so
// their keys do nothing.

#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_UNDO 57643
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681
