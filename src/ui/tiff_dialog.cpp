#include "ui/tiff_dialog.h"

#include <quorvel/wingdi.h>

#include "ui/key_filters.h"

namespace quorvel::ui {

TTiffDialog::TTiffDialog()
    : Form("TiffDialog", "TIFF Properties", 313, 109),
      Bevel1("Bevel1", {8, 6, 297, 63}),
      Label1("Label1", {13, 16, 0, 0}, "Compression"),
      Label3("Label3", {13, 46, 0, 0}, "Predictor"),
      OKBtn("OKBtn", {77, 75, 75, 25}, "OK"),
      CancelBtn("CancelBtn", {157, 75, 75, 25}, "Cancel"),
      CompressionBox("CompressionBox", {143, 13, 157, 0}, {"None", "ZIP", "Macintosh"}),
      PredictorEdit("PredictorEdit", {143, 41, 157, 21}) {
    add_controls(Bevel1, Label1, Label3, OKBtn, CancelBtn, CompressionBox, PredictorEdit);
    OKBtn.set_tab_order(0);
    CancelBtn.set_tab_order(1);
    CompressionBox.set_tab_order(2);
    PredictorEdit.set_tab_order(3);
    OKBtn.set_default(true);
    OKBtn.set_modal_result(IDOK);
    CancelBtn.set_cancel(true);
    CancelBtn.set_modal_result(IDCANCEL);
    OKBtn.on_click = [this] { OKBtnClick(); };
    CancelBtn.on_click = [this] { CancelBtnClick(); };
    CompressionBox.on_change = [this] { CompressionBoxChange(); };
    PredictorEdit.on_key_press = [this](char& key) { PredictorEditKeyPress(key); };
    DialogCreate();
    remember_values();
}

void TTiffDialog::DialogCreate() {
    CompressionBox.set_item_index(kNone);
    PredictorEdit.set_read_only(true);
    PredictorEdit.set_colour(toolkit::Colour::ButtonFace);
    PredictorEdit.set_enabled(false);
    PredictorEdit.set_text("2");
}

// The predictor is editable exactly while a compression that uses it can be chosen.
void TTiffDialog::CompressionBoxChange() {
    const int item = CompressionBox.item_index();
    const bool writable = item == kZip || item == kMacintosh;
    PredictorEdit.set_read_only(!writable);
    PredictorEdit.set_enabled(writable);
    PredictorEdit.set_colour(writable ? toolkit::Colour::Window : toolkit::Colour::ButtonFace);
}

void TTiffDialog::FormShow() {
    centre_on_screen();
    remember_values();
}

void TTiffDialog::remember_values() {
    remembered_predictor_ = PredictorEdit.text();
    remembered_item_ = CompressionBox.item_index();
}

void TTiffDialog::PredictorEditKeyPress(char& key) { filter_digits_key(PredictorEdit.text(), key); }

void TTiffDialog::OKBtnClick() {
    // The button's OK result closes the dialog.
}

void TTiffDialog::CancelBtnClick() {
    CompressionBox.set_item_index(remembered_item_);
    PredictorEdit.set_text(remembered_predictor_);
}

}  // namespace quorvel::ui
