#include "ui/wsq_dialog.h"

#include <quorvel/wingdi.h>

#include "toolkit/number_text.h"
#include "ui/key_filters.h"

namespace quorvel::ui {

TWSQDialog::TWSQDialog()
    : Form("WSQDialog", "WSQ Properties", 313, 148),
      Bevel1("Bevel1", {8, 6, 297, 99}),
      BitrateLabel("BitrateLabel", {13, 16, 0, 0}, "Bitrate"),
      ppiLabel("ppiLabel", {13, 46, 0, 0}, "Pixels per inch (ppi)"),
      comment_textLabel("comment_textLabel", {16, 80, 0, 0}, "Comment text"),
      OKBtn("OKBtn", {77, 115, 75, 25}, "OK"),
      CancelBtn("CancelBtn", {157, 115, 75, 25}, "Cancel"),
      ppiEdit("ppiEdit", {143, 41, 157, 21}, "500"),
      comment_textEdit("comment_textEdit", {144, 72, 153, 21}, "Vellacor"),
      BitrateEdit("BitrateEdit", {144, 16, 153, 21}) {
    add_controls(Bevel1, BitrateLabel, ppiLabel, comment_textLabel, OKBtn, CancelBtn, ppiEdit,
                 comment_textEdit, BitrateEdit);
    OKBtn.set_tab_order(0);
    CancelBtn.set_tab_order(1);
    ppiEdit.set_tab_order(2);
    comment_textEdit.set_tab_order(3);
    BitrateEdit.set_tab_order(4);
    OKBtn.set_default(true);
    OKBtn.set_modal_result(IDOK);
    CancelBtn.set_cancel(true);
    CancelBtn.set_modal_result(IDCANCEL);
    OKBtn.on_click = [this] { OKBtnClick(); };
    CancelBtn.on_click = [this] { CancelBtnClick(); };
    ppiEdit.on_key_press = [this](char& key) { ppiEditKeyPress(key); };
    BitrateEdit.on_key_press = [this](char& key) { BitrateEditKeyPress(key); };
    FormCreate();
    remember_values();
}

void TWSQDialog::FormCreate() { BitrateEdit.set_text(toolkit::format_general(0.75)); }

void TWSQDialog::FormShow() {
    centre_on_screen();
    remember_values();
}

void TWSQDialog::remember_values() {
    remembered_ = Remembered{};
    // An edit that holds no number is remembered as its text, so the dialog still opens and
    // Cancel still gives back exactly what was there.
    remembered_.bitrate_is_number = toolkit::parse_float(BitrateEdit.text(), remembered_.bitrate);
    remembered_.bitrate_text = BitrateEdit.text();
    remembered_.ppi_is_number = toolkit::parse_int(ppiEdit.text(), remembered_.ppi);
    remembered_.ppi_text = ppiEdit.text();
    remembered_.comment = comment_textEdit.text();
}

void TWSQDialog::ppiEditKeyPress(char& key) { filter_digits_key(ppiEdit.text(), key); }

void TWSQDialog::BitrateEditKeyPress(char& key) { filter_decimal_key(BitrateEdit.text(), key); }

void TWSQDialog::OKBtnClick() {
    // The button's OK result closes the dialog; the edits keep what the user typed.
}

void TWSQDialog::CancelBtnClick() {
    BitrateEdit.set_text(remembered_.bitrate_is_number
                             ? toolkit::format_general(remembered_.bitrate)
                             : remembered_.bitrate_text);
    ppiEdit.set_text(remembered_.ppi_is_number ? std::to_string(remembered_.ppi)
                                               : remembered_.ppi_text);
    comment_textEdit.set_text(remembered_.comment);
}

}  // namespace quorvel::ui
