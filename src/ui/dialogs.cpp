#include "ui/dialogs.h"

namespace quorvel::ui {

// Created on first use: each dialog's creation reads the user's decimal separator, which a
// host sets with setlocale after the library is loaded.
TWSQDialog& wsq_dialog() {
    static TWSQDialog dialog;
    return dialog;
}

TTiffDialog& tiff_dialog() {
    static TTiffDialog dialog;
    return dialog;
}

}  // namespace quorvel::ui
