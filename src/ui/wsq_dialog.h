// The "WSQ Properties" dialog: bitrate, pixels per inch and comment text of the next WSQ save.
// Its edits are the working store of those values: the settings' setters write them and every
// save reads them back, whether the dialog was shown or not.
#pragma once

#include <string>

#include "toolkit/form.h"

namespace quorvel::ui {

class TWSQDialog : public toolkit::Form {
public:
    TWSQDialog();

    toolkit::Bevel Bevel1;
    toolkit::Label BitrateLabel;
    toolkit::Label ppiLabel;
    toolkit::Label comment_textLabel;
    toolkit::Button OKBtn;
    toolkit::Button CancelBtn;
    toolkit::Edit ppiEdit;
    toolkit::Edit comment_textEdit;
    toolkit::Edit BitrateEdit;

    void FormCreate();
    void FormShow();
    void ppiEditKeyPress(char& key);
    void BitrateEditKeyPress(char& key);
    void OKBtnClick();
    void CancelBtnClick();

protected:
    void on_show() override { FormShow(); }

private:
    void remember_values();

    // What the edits held when the dialog was last shown. A number is kept as a number and
    // written back in its normal form; an edit that did not hold a number is kept as text.
    struct Remembered {
        bool bitrate_is_number = false;
        double bitrate = 0.0;
        std::string bitrate_text;
        bool ppi_is_number = false;
        int ppi = 0;
        std::string ppi_text;
        std::string comment;
    };
    Remembered remembered_;
};

}  // namespace quorvel::ui
