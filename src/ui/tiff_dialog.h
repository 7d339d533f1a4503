// The "TIFF Properties" dialog: compression and predictor of the next TIFF save. Like the WSQ
// dialog, its controls are the working store that setters write and saves read back.
#pragma once

#include <string>

#include "toolkit/form.h"

namespace quorvel::ui {

class TTiffDialog : public toolkit::Form {
public:
    // CompressionBox items, in the order of the TIFF compression export codes.
    enum Item { kNone = 0, kZip = 1, kMacintosh = 2 };

    TTiffDialog();

    toolkit::Bevel Bevel1;
    toolkit::Label Label1;
    toolkit::Label Label3;
    toolkit::Button OKBtn;
    toolkit::Button CancelBtn;
    toolkit::ComboBox CompressionBox;
    toolkit::Edit PredictorEdit;

    void DialogCreate();
    void FormShow();
    void CompressionBoxChange();
    void PredictorEditKeyPress(char& key);
    void OKBtnClick();
    void CancelBtnClick();

protected:
    void on_show() override { FormShow(); }

private:
    void remember_values();

    int remembered_item_ = kNone;
    std::string remembered_predictor_;
};

}  // namespace quorvel::ui
