// The "File format converter" window: its controls and handlers. The work itself is done by a
// ConversionJob; this form gathers the job's inputs from its controls, shows the property
// dialog of the output format, checks the directories, and reports progress in its bar.
#pragma once

#include <string>
#include <vector>

#include "toolkit/form.h"
#include "toolkit/list_controls.h"
#include "ui/conversion_job.h"
#include "ui/converter_settings.h"

namespace quorvel::ui {

class TFileFormatConverterForm : public toolkit::Form {
public:
    static constexpr const char* kFontName = "MS Sans Serif";
    static constexpr int kFontSize = 8;

    TFileFormatConverterForm();
    // The comment setting must not keep pointing into a window that is gone.
    ~TFileFormatConverterForm() override;

    toolkit::Label InputFileFormatsLabel;
    toolkit::CheckListBox InputFileFormatsCheckListBox;
    toolkit::LabeledEdit InputDirectoryEdit;
    toolkit::PictureButton SelectInputDirectoryButton;
    toolkit::CheckBox SubdirectoriesCheckBox;
    toolkit::LabeledEdit OutputDirectoryEdit;
    toolkit::PictureButton SelectOutputDirectoryButton;
    toolkit::Label OutputFileFormatLabel;
    toolkit::ComboBox OutputFileFormatComboBox;
    toolkit::Label ProgressLabel;
    toolkit::ProgressBar ProgressBar;
    toolkit::Button StartConversionButton;
    toolkit::Button StopConversionButton;
    toolkit::Button CloseButton;

    void FormShow();
    void FormClose();
    void CloseButtonClick();
    void SelectInputDirectoryButtonClick();
    void SelectOutputDirectoryButtonClick();
    void InputFileFormatsCheckListBoxClick();
    void StartConversionButtonClick();
    void StopConversionButtonClick();

    // The search patterns parallel to the check list's items (entry 0 empty).
    const std::vector<std::string>& patterns() const { return patterns_; }
    // Where the remembered directories are kept (tests point it elsewhere).
    const std::string& ini_path() const { return ini_path_; }
    void set_ini_path(std::string path) { ini_path_ = std::move(path); }
    // Where files are read and written (the library's entry points unless replaced).
    void set_backend(ConversionBackend* backend) { backend_ = backend; }
    // The settings the dialogs show and a run writes (the library's unless replaced).
    void set_settings(ConverterSettings* settings) { settings_ = settings; }
    bool stop_requested() const { return stop_requested_; }
    // The names the last run collected, in collection order.
    const std::vector<std::string>& collected_files() const { return collected_; }

protected:
    void on_show() override { FormShow(); }
    void on_close() override { FormClose(); }

private:
    void set_running(bool running);
    bool take_dialog_parameters();
    bool take_wsq_parameters();
    void take_tiff_parameters();
    bool check_directories();
    bool check_output_directory();
    void convert();
    ConversionInputs job_inputs() const;
    bool poll_stop();
    void show_progress(int position);
    void browse_into(toolkit::Edit& edit);

    std::vector<std::string> patterns_;
    std::string ini_path_;
    ConversionBackend* backend_;
    ConverterSettings* settings_;
    bool stop_requested_ = false;
    std::vector<std::string> collected_;
    // The comment text handed to the settings, which keep the pointer: valid until the
    // next run replaces it.
    std::string comment_copy_;
};

// The library's one converter window.
TFileFormatConverterForm& converter_form();

// The C library's atol on a predictor text, kept to its low 16 bits: leading blanks and a sign
// allowed, reading stops at the first non-digit, 0 without digits.
uint16_t atol_low16(const std::string& text);

}  // namespace quorvel::ui
