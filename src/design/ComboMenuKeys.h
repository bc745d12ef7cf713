#pragma once

class QComboBox;

// An open combo box menu owns Return, Enter and Escape. Its popup list is a child of the window in the
// widget tree, so a window's shortcut for those keys (Return as Save, say) would otherwise fire from
// inside it. With this, Return or Enter picks the highlighted entry and Escape closes the menu; the
// window behind sees neither. With the menu closed, the keys reach the window as before.
namespace ComboMenuKeys {
void attach(QComboBox* combo);
}
