#include "ui/converter_form.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "platform/presenter.h"
#include "toolkit/number_text.h"
#include "ui/converter_formats.h"
#include "ui/converter_ini.h"
#include "ui/dialogs.h"

namespace quorvel::ui {
namespace {

constexpr int kWsqItem = 0;
constexpr int kTiffItem = 2;
constexpr const char* kDirectoryCaption = "Error reading directory";
constexpr const char* kCreateErrorCaption = "Error creating directory";

std::vector<std::string> input_captions() {
    std::vector<std::string> captions;
    for (const InputFormat& format : input_formats()) captions.emplace_back(format.caption);
    return captions;
}

std::vector<std::string> input_patterns() {
    std::vector<std::string> patterns;
    for (const InputFormat& format : input_formats()) patterns.emplace_back(format.pattern);
    return patterns;
}

std::vector<std::string> output_captions() {
    return {output_format_captions().begin(), output_format_captions().end()};
}

int show_error(const std::string& text, const char* caption) {
    return platform::presenter().message_box(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

// Files a run did not convert are told to the user at its end, at most this many by name,
// so that the box still fits on the screen.
constexpr size_t kNamedFiles = 20;

// What the user would not learn otherwise: files skipped because their output would replace
// an input, and files the writer did not write (a WSQ or TIFF writer shows no box of its own).
bool worth_telling(const FileResult& result) {
    return result.status == FileStatus::Skipped || result.status == FileStatus::WriteFailed;
}

// The skipped files first, then those not written, each in the order of the run.
std::string not_converted_text(std::vector<FileResult> results) {
    std::stable_partition(results.begin(), results.end(), [](const FileResult& result) {
        return result.status == FileStatus::Skipped;
    });
    std::string text = std::to_string(results.size()) +
                       (results.size() == 1 ? " file was" : " files were") + " not converted:";
    for (size_t i = 0; i < results.size() && i < kNamedFiles; ++i)
        text += "\n" + results[i].input + ": " + results[i].message;
    if (results.size() > kNamedFiles)
        text += "\n... and " + std::to_string(results.size() - kNamedFiles) + " more.";
    return text;
}

// The flag goes back to 1 however the run ends.
struct ShowPropertiesAfterwards {
    ConverterSettings& settings;
    ~ShowPropertiesAfterwards() { settings.set_show_properties(true); }
};

}  // namespace

uint16_t atol_low16(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    // Arithmetic modulo 2^16 gives the low 16 bits of any length of digits without overflow.
    uint16_t value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        value = static_cast<uint16_t>(value * 10u + static_cast<unsigned>(text[at] - '0'));
    }
    return negative ? static_cast<uint16_t>(0u - value) : value;
}

TFileFormatConverterForm::TFileFormatConverterForm()
    : Form("FileFormatConverterForm", "File format converter", 425, 354),
      InputFileFormatsLabel("InputFileFormatsLabel", {16, 8, 0, 0}, "Input file formats"),
      InputFileFormatsCheckListBox("InputFileFormatsCheckListBox", {16, 24, 393, 57},
                                   input_captions()),
      InputDirectoryEdit("InputDirectoryEdit", {16, 104, 361, 21}, "Input directory"),
      SelectInputDirectoryButton("SelectInputDirectoryButton", {384, 96, 32, 32},
                                 toolkit::Glyph::Folder),
      SubdirectoriesCheckBox("SubdirectoriesCheckBox", {16, 128, 129, 25},
                             "Include subdirectories"),
      OutputDirectoryEdit("OutputDirectoryEdit", {16, 176, 361, 21}, "Output directory"),
      SelectOutputDirectoryButton("SelectOutputDirectoryButton", {384, 168, 32, 32},
                                  toolkit::Glyph::Folder),
      OutputFileFormatLabel("OutputFileFormatLabel", {16, 208, 0, 0}, "Output file format"),
      OutputFileFormatComboBox("OutputFileFormatComboBox", {16, 224, 393, 0}, output_captions()),
      ProgressLabel("ProgressLabel", {376, 256, 0, 0}, "100%"),
      ProgressBar("ProgressBar", {16, 272, 393, 25}),
      StartConversionButton("StartConversionButton", {16, 312, 113, 33}, "Start conversion"),
      StopConversionButton("StopConversionButton", {160, 312, 121, 33}, "Stop conversion"),
      CloseButton("CloseButton", {312, 312, 97, 33}, "Close"),
      patterns_(input_patterns()),
      ini_path_(default_ini_path()),
      backend_(&library_backend()),
      settings_(&library_settings()) {
    add_controls(InputFileFormatsLabel, InputFileFormatsCheckListBox, InputDirectoryEdit,
                 SelectInputDirectoryButton, SubdirectoriesCheckBox, OutputDirectoryEdit,
                 SelectOutputDirectoryButton, OutputFileFormatLabel, OutputFileFormatComboBox,
                 ProgressLabel, ProgressBar, StartConversionButton, StopConversionButton,
                 CloseButton);
    CloseButton.set_tab_order(0);
    InputFileFormatsCheckListBox.set_tab_order(1);
    InputDirectoryEdit.set_tab_order(2);
    SelectInputDirectoryButton.set_tab_order(3);
    SubdirectoriesCheckBox.set_tab_order(4);
    OutputDirectoryEdit.set_tab_order(5);
    SelectOutputDirectoryButton.set_tab_order(6);
    OutputFileFormatComboBox.set_tab_order(7);
    StartConversionButton.set_tab_order(8);
    StopConversionButton.set_tab_order(9);
    ProgressBar.set_tab_order(10);
    OutputFileFormatComboBox.set_item_index(0);
    CloseButton.on_click = [this] { CloseButtonClick(); };
    SelectInputDirectoryButton.on_click = [this] { SelectInputDirectoryButtonClick(); };
    SelectOutputDirectoryButton.on_click = [this] { SelectOutputDirectoryButtonClick(); };
    InputFileFormatsCheckListBox.on_click = [this] { InputFileFormatsCheckListBoxClick(); };
    StartConversionButton.on_click = [this] { StartConversionButtonClick(); };
    StopConversionButton.on_click = [this] { StopConversionButtonClick(); };
}

TFileFormatConverterForm::~TFileFormatConverterForm() {
    settings_->forget_comment(comment_copy_.data());
}

void TFileFormatConverterForm::set_running(bool running) {
    StartConversionButton.set_enabled(!running);
    CloseButton.set_enabled(!running);
    StopConversionButton.set_enabled(running);
}

void TFileFormatConverterForm::show_progress(int position) {
    ProgressBar.set_position(position);
    ProgressLabel.set_caption(std::to_string(position) + " %");
}

void TFileFormatConverterForm::FormShow() {
    show_progress(0);
    set_running(false);
    centre_on_screen();
    const ConverterSettings::Properties shown = settings_->properties();
    wsq_dialog().BitrateEdit.set_text(toolkit::format_general(shown.wsq_bitrate));
    wsq_dialog().ppiEdit.set_text(std::to_string(shown.wsq_ppi));
    wsq_dialog().comment_textEdit.set_text(shown.wsq_comment);
    tiff_dialog().PredictorEdit.set_text(std::to_string(shown.tiff_predictor));
    tiff_dialog().CompressionBox.set_item_index(shown.tiff_compression_item);
    const RememberedDirectories directories = read_ini_directories(ini_path_);
    InputDirectoryEdit.set_text(directories.input_directory);
    OutputDirectoryEdit.set_text(directories.output_directory);
}

void TFileFormatConverterForm::FormClose() {
    write_ini_directories(ini_path_, {InputDirectoryEdit.text(), OutputDirectoryEdit.text()});
}

void TFileFormatConverterForm::CloseButtonClick() { close(); }

void TFileFormatConverterForm::browse_into(toolkit::Edit& edit) {
    std::string folder = directory_exists(edit.text()) ? edit.text() : std::string();
    if (platform::presenter().browse_for_folder("Select a folder:", folder)) edit.set_text(folder);
}

void TFileFormatConverterForm::SelectInputDirectoryButtonClick() {
    browse_into(InputDirectoryEdit);
}

void TFileFormatConverterForm::SelectOutputDirectoryButtonClick() {
    browse_into(OutputDirectoryEdit);
}

void TFileFormatConverterForm::InputFileFormatsCheckListBoxClick() {
    toolkit::CheckListBox& list = InputFileFormatsCheckListBox;
    if (list.item_index() != 0) {
        list.set_checked(0, false);
        return;
    }
    for (size_t item = 1; item < list.count(); ++item) list.set_checked(item, list.checked(0));
}

void TFileFormatConverterForm::StopConversionButtonClick() {
    stop_requested_ = true;
    set_running(false);
}

void TFileFormatConverterForm::StartConversionButtonClick() {
    ShowPropertiesAfterwards flag_back{*settings_};
    settings_->set_show_properties(false);
    set_running(true);
    stop_requested_ = false;
    if (take_dialog_parameters() && check_directories()) convert();
    set_running(false);
}

bool TFileFormatConverterForm::take_dialog_parameters() {
    const int item = OutputFileFormatComboBox.item_index();
    if (item == kWsqItem) return take_wsq_parameters();
    if (item == kTiffItem) take_tiff_parameters();
    return true;
}

// The dialog's Cancel only restores its own edits; the run goes on with what they hold.
bool TFileFormatConverterForm::take_wsq_parameters() {
    TWSQDialog& dialog = wsq_dialog();
    dialog.show_modal();
    double bitrate = 0.0;
    int ppi = 0;
    if (!toolkit::parse_float(dialog.BitrateEdit.text(), bitrate)) {
        show_error("Error: the bitrate \"" + dialog.BitrateEdit.text() + "\" is not a number.",
                   "WSQ Properties");
        return false;
    }
    if (!toolkit::parse_int(dialog.ppiEdit.text(), ppi)) {
        show_error(
            "Error: the pixels per inch \"" + dialog.ppiEdit.text() + "\" are not a whole number.",
            "WSQ Properties");
        return false;
    }
    comment_copy_ = dialog.comment_textEdit.text();
    settings_->set_wsq(bitrate, ppi, comment_copy_.data());
    return true;
}

void TFileFormatConverterForm::take_tiff_parameters() {
    TTiffDialog& dialog = tiff_dialog();
    dialog.show_modal();
    settings_->set_tiff(dialog.CompressionBox.item_index(),
                        atol_low16(dialog.PredictorEdit.text()));
}

bool TFileFormatConverterForm::check_directories() {
    if (!directory_exists(InputDirectoryEdit.text())) {
        show_error("Error: input directory does not exist.", kDirectoryCaption);
        return false;
    }
    if (OutputDirectoryEdit.text().empty()) {
        show_error("Please enter output directory.", kDirectoryCaption);
        return false;
    }
    return directory_exists(OutputDirectoryEdit.text()) || check_output_directory();
}

bool TFileFormatConverterForm::check_output_directory() {
    const int answer = platform::presenter().message_box(
        nullptr, "Selected output directory does not exist.\nDo you want to create this directory?",
        "Create directory", MB_OKCANCEL | MB_ICONQUESTION);
    if (answer != IDOK) return false;
    if (mkdir(OutputDirectoryEdit.text().c_str(), 0777) == 0) return true;
    show_error("Error: output directory cannot be created.", kCreateErrorCaption);
    return false;
}

ConversionInputs TFileFormatConverterForm::job_inputs() const {
    ConversionInputs inputs;
    inputs.input_directory = InputDirectoryEdit.text();
    inputs.output_directory = OutputDirectoryEdit.text();
    inputs.with_subdirectories = SubdirectoriesCheckBox.checked();
    inputs.output_type = OutputFileFormatComboBox.item_index() + 1;
    for (size_t item = 1; item < InputFileFormatsCheckListBox.count(); ++item) {
        if (InputFileFormatsCheckListBox.checked(item)) inputs.patterns.push_back(patterns_[item]);
    }
    return inputs;
}

bool TFileFormatConverterForm::poll_stop() {
    platform::presenter().process_messages();
    return stop_requested_;
}

void TFileFormatConverterForm::convert() {
    ConversionJob job(job_inputs(), *backend_);
    show_progress(0);
    collected_.clear();
    const auto stop = [this] { return poll_stop(); };
    if (!job.collect(stop)) return;
    collected_ = job.files();
    std::vector<FileResult> not_converted;
    const auto progress = [&](size_t j, size_t n, const FileResult& result) {
        if (worth_telling(result)) not_converted.push_back(result);
        show_progress(ConversionJob::percent(j, n));
        ProgressBar.repaint();
    };
    const auto directory_error = [](const std::string& message) {
        show_error(message, kCreateErrorCaption);
    };
    if (job.run(progress, stop, directory_error)) show_progress(100);
    if (!not_converted.empty())
        platform::presenter().message_box(nullptr, not_converted_text(not_converted), caption(),
                                          MB_OK | MB_ICONWARNING);
}

TFileFormatConverterForm& converter_form() {
    static TFileFormatConverterForm form;
    return form;
}

}  // namespace quorvel::ui
