// The converter window's controls and handlers, headless, with a recording presenter and the
// fake backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include <quorvel/quorvel.h>

#include "api/settings.h"
#include "fake_backend.h"
#include "readers/format_table.h"
#include "support/recording_presenter.h"
#include "support/test_support.h"
#include "toolkit/number_text.h"
#include "ui/converter_form.h"
#include "ui/converter_formats.h"
#include "ui/dialogs.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

struct ControlCase {
    const char* name;
    toolkit::Bounds bounds;
    int tab_order;
};

TEST(ConverterForm, ControlsSitWhereTheWindowDefinesThem) {
    ui::TFileFormatConverterForm form;
    const ControlCase cases[] = {
        {"InputFileFormatsLabel", {16, 8, 0, 0}, -1},
        {"InputFileFormatsCheckListBox", {16, 24, 393, 57}, 1},
        {"InputDirectoryEdit", {16, 104, 361, 21}, 2},
        {"SelectInputDirectoryButton", {384, 96, 32, 32}, 3},
        {"SubdirectoriesCheckBox", {16, 128, 129, 25}, 4},
        {"OutputDirectoryEdit", {16, 176, 361, 21}, 5},
        {"SelectOutputDirectoryButton", {384, 168, 32, 32}, 6},
        {"OutputFileFormatLabel", {16, 208, 0, 0}, -1},
        {"OutputFileFormatComboBox", {16, 224, 393, 0}, 7},
        {"ProgressLabel", {376, 256, 0, 0}, -1},
        {"ProgressBar", {16, 272, 393, 25}, 10},
        {"StartConversionButton", {16, 312, 113, 33}, 8},
        {"StopConversionButton", {160, 312, 121, 33}, 9},
        {"CloseButton", {312, 312, 97, 33}, 0},
    };
    ASSERT_EQ(form.controls().size(), std::size(cases));
    for (const ControlCase& c : cases) {
        const toolkit::Control* control = form.find_control(c.name);
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_EQ(control->bounds().left, c.bounds.left) << c.name;
        EXPECT_EQ(control->bounds().top, c.bounds.top) << c.name;
        EXPECT_EQ(control->bounds().width, c.bounds.width) << c.name;
        EXPECT_EQ(control->bounds().height, c.bounds.height) << c.name;
        EXPECT_EQ(control->tab_order(), c.tab_order) << c.name;
    }
    EXPECT_EQ(form.caption(), "File format converter");
    EXPECT_EQ(form.width(), 425);
    EXPECT_EQ(form.height(), 354);
    EXPECT_EQ(form.ProgressLabel.caption(), "100%");
    EXPECT_EQ(form.InputDirectoryEdit.label_caption(), "Input directory");
    EXPECT_EQ(form.SubdirectoriesCheckBox.caption(), "Include subdirectories");
    EXPECT_FALSE(form.SubdirectoriesCheckBox.checked());
}

TEST(ConverterForm, FormatListsHoldEveryItemAndPattern) {
    ui::TFileFormatConverterForm form;
    const auto& items = form.InputFileFormatsCheckListBox.items();
    ASSERT_EQ(items.size(), 43u);
    ASSERT_EQ(form.patterns().size(), 43u);
    EXPECT_EQ(items[0], "All Bitmap Files");
    EXPECT_EQ(form.patterns()[0], "");
    EXPECT_EQ(items[13], "DIB - Device independant Windows bitmaps");
    EXPECT_EQ(form.patterns()[28], "\\*.rgb");
    EXPECT_EQ(items[42], "EMF - Windows enhanced meta files");
    EXPECT_EQ(form.patterns()[42], "\\*.emf");
    // Every extension of the format table, once each.
    std::multiset<std::string> listed, table;
    for (size_t i = 1; i < form.patterns().size(); ++i)
        listed.insert(ui::pattern_extension(form.patterns()[i].c_str()));
    for (const readers::FormatRow& row : readers::format_table()) table.insert(row.extension);
    EXPECT_EQ(listed, table);
    const auto& outputs = form.OutputFileFormatComboBox.items();
    ASSERT_EQ(outputs.size(), 7u);
    EXPECT_EQ(outputs[0], "WSQ  - FBI's Wavelet Scalar Quantization");
    EXPECT_EQ(outputs[2], "TIF - Tagged Information File Format  (no LZW compression)");
    EXPECT_EQ(outputs[6], "RGB   - Silicon Graphics International (uncompressed)");
    EXPECT_EQ(form.OutputFileFormatComboBox.item_index(), 0);
}

TEST(ConverterForm, AllBitmapFilesTicksEverythingAndAnotherItemUnticksIt) {
    ui::TFileFormatConverterForm form;
    toolkit::CheckListBox& list = form.InputFileFormatsCheckListBox;
    list.click_item(0);
    for (size_t i = 0; i < list.count(); ++i) EXPECT_TRUE(list.checked(i)) << i;
    list.click_item(8);  // PNG: unticked by the click, and "All Bitmap Files" with it
    EXPECT_FALSE(list.checked(0));
    EXPECT_FALSE(list.checked(8));
    EXPECT_TRUE(list.checked(7));
    list.click_item(0);
    list.click_item(0);
    for (size_t i = 0; i < list.count(); ++i) EXPECT_FALSE(list.checked(i)) << i;
}

class ConverterRun : public ::testing::Test {
protected:
    void SetUp() override {
        form.set_ini_path(tmp.file("Quorvel.ini"));
        form.set_backend(&backend);
        in = tmp.file("in");
        out = tmp.file("out");
        fs::create_directories(in);
        form.InputDirectoryEdit.set_text(in);
        form.OutputDirectoryEdit.set_text(out);
        form.OutputFileFormatComboBox.set_item_index(3);  // PNG: no dialog
        SetShowFilePropertiesDialog(0);
    }
    void tick(size_t item) { form.InputFileFormatsCheckListBox.set_checked(item, true); }
    bool idle() const {
        return form.StartConversionButton.enabled() && form.CloseButton.enabled() &&
               !form.StopConversionButton.enabled();
    }

    TempDir tmp;
    RecordingPresenter presenter;
    FakeBackend backend;
    ui::TFileFormatConverterForm form;
    std::string in, out;
};

TEST_F(ConverterRun, ZeroFilesEndsAtOnceWithAHundredPercentAndTheFlagBackToOne) {
    tick(2);
    form.StartConversionButton.click();
    EXPECT_EQ(form.ProgressLabel.caption(), "100 %");
    EXPECT_EQ(form.ProgressBar.position(), 100);
    EXPECT_TRUE(idle());
    EXPECT_EQ(api::library_state().settings.show_properties, 1);
    EXPECT_TRUE(fs::is_directory(out));  // created after the question (answered OK)
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].caption, "Create directory");
    EXPECT_EQ(presenter.messages[0].text,
              "Selected output directory does not exist.\nDo you want to create this directory?");
}

struct RefusalCase {
    const char* name;
    bool input_exists;
    const char* output;
    int answer;
    const char* caption;
    const char* text;
};

class ConverterRefusals : public ConverterRun, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ConverterRefusals, ConvertNothingLeaveTheButtonsIdleAndTheFlagAtOne) {
    const RefusalCase& c = GetParam();
    touch(in + "/a.bmp");
    tick(2);
    if (!c.input_exists) form.InputDirectoryEdit.set_text(tmp.file("missing"));
    if (std::string(c.output) == "file") touch(tmp.file("file"));
    form.OutputDirectoryEdit.set_text(std::string(c.output) == "" ? ""
                                                                  : tmp.file(c.output) + "/sub");
    presenter.answers.push_back(c.answer);
    form.StartConversionButton.click();
    EXPECT_TRUE(backend.loads.empty());
    EXPECT_TRUE(idle());
    EXPECT_EQ(api::library_state().settings.show_properties, 1);
    ASSERT_FALSE(presenter.messages.empty());
    EXPECT_EQ(presenter.messages.back().caption, c.caption);
    EXPECT_EQ(presenter.messages.back().text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, ConverterRefusals,
    ::testing::Values(
        RefusalCase{"NoInput", false, "o", IDOK, "Error reading directory",
                    "Error: input directory does not exist."},
        RefusalCase{"NoOutput", true, "", IDOK, "Error reading directory",
                    "Please enter output directory."},
        RefusalCase{
            "CancelCreate", true, "o", IDCANCEL, "Create directory",
            "Selected output directory does not exist.\nDo you want to create this directory?"},
        RefusalCase{"CannotCreate", true, "file", IDOK, "Error creating directory",
                    "Error: output directory cannot be created."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConverterRun, StopWhileCollectingConvertsNothing) {
    touch(in + "/a.bmp");
    tick(2);
    tick(8);
    presenter.on_messages = [&] { form.StopConversionButton.click(); };
    form.StartConversionButton.click();
    EXPECT_TRUE(backend.loads.empty());
    EXPECT_EQ(form.ProgressLabel.caption(), "0 %");
    EXPECT_TRUE(idle());
}

TEST_F(ConverterRun, StopWhileConvertingEndsAfterTheCurrentFileWithoutAHundredPercent) {
    fs::create_directories(out);
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp", "4.bmp"}) touch(in + "/" + name);
    tick(2);
    backend.after_save = [&] {
        if (backend.saves.size() == 2) form.StopConversionButton.click();
    };
    form.StartConversionButton.click();
    EXPECT_EQ(backend.saves.size(), 2u);
    EXPECT_EQ(form.ProgressBar.position(), 25);
    EXPECT_EQ(form.ProgressLabel.caption(), "25 %");
    EXPECT_TRUE(idle());
    EXPECT_EQ(api::library_state().settings.show_properties, 1);
}

TEST_F(ConverterRun, SameNameFromTwoFormatsIsConvertedTwiceTheLaterWins) {
    fs::create_directories(out);
    touch(in + "/a.bmp");
    touch(in + "/a.png");
    tick(2);
    tick(8);
    form.StartConversionButton.click();
    ASSERT_EQ(form.collected_files().size(), 2u);
    EXPECT_EQ(slurp(out + "/a.png"), in + "/a.png");
    EXPECT_EQ(form.ProgressLabel.caption(), "100 %");
}

TEST_F(ConverterRun, FilesNotConvertedAreToldAtTheEndTwentyByName) {
    touch(in + "/a.bmp");
    touch(in + "/a.png");
    for (int i = 0; i < 22; ++i) touch(in + "/refused" + std::to_string(i) + ".bmp");
    form.OutputDirectoryEdit.set_text(in);  // a.bmp and a.png would both write a.png
    tick(2);
    tick(8);
    form.StartConversionButton.click();
    EXPECT_EQ(form.ProgressLabel.caption(), "100 %");
    ASSERT_EQ(presenter.messages.size(), 1u);
    const RecordingPresenter::Message& told = presenter.messages[0];
    EXPECT_EQ(told.caption, "File format converter");
    EXPECT_EQ(told.text.find("24 files were not converted:\n"), 0u) << told.text;
    EXPECT_NE(told.text.find("\n" + in + "/a.png: " + ui::kReplacesInput), std::string::npos)
        << told.text;
    EXPECT_NE(told.text.find(".bmp: " + std::string(FakeBackend::kRefusal) + "\n"),
              std::string::npos);
    EXPECT_EQ(std::count(told.text.begin(), told.text.end(), '\n'), 21);
    EXPECT_NE(told.text.find("\n... and 4 more."), std::string::npos) << told.text;
}

TEST_F(ConverterRun, WsqRunTakesTheDialogValuesAndRefusesTextThatIsNoNumber) {
    fs::create_directories(out);
    touch(in + "/a.bmp");
    tick(2);
    form.OutputFileFormatComboBox.set_item_index(0);
    ui::wsq_dialog().BitrateEdit.set_text(toolkit::format_general(2.25));
    ui::wsq_dialog().ppiEdit.set_text("1000");
    ui::wsq_dialog().comment_textEdit.set_text("left thumb");
    form.StartConversionButton.click();
    EXPECT_EQ(ReadWSQ_bitrate(), 2.25);
    EXPECT_EQ(ReadWSQ_ppi(), 1000);
    EXPECT_STREQ(ReadWSQ_comment(), "left thumb");
    EXPECT_EQ(presenter.shown_forms.size(), 1u);
    ASSERT_EQ(backend.saves.size(), 1u);
    EXPECT_TRUE(fs::exists(out + "/a.wsq"));

    ui::wsq_dialog().ppiEdit.set_text("5x");
    form.StartConversionButton.click();
    EXPECT_EQ(backend.saves.size(), 1u);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].caption, "WSQ Properties");
    EXPECT_TRUE(idle());
    EXPECT_EQ(api::library_state().settings.show_properties, 1);
    WriteWSQ_bitrate(0.75);
    WriteWSQ_ppi(500);
    ui::wsq_dialog().ppiEdit.set_text("500");
}

TEST_F(ConverterRun, TiffRunTakesCompressionAndPredictorLikeAtol) {
    fs::create_directories(out);
    form.OutputFileFormatComboBox.set_item_index(2);
    ui::tiff_dialog().CompressionBox.set_item_index(ui::TTiffDialog::kZip);
    ui::tiff_dialog().PredictorEdit.set_text("  65548xyz");
    form.StartConversionButton.click();
    EXPECT_EQ(api::library_state().settings.tiff_compression, api::kTiffZip);
    EXPECT_EQ(api::library_state().settings.tiff_predictor, 12);
    EXPECT_EQ(ui::atol_low16("-1"), 65535);
    EXPECT_EQ(ui::atol_low16("abc"), 0);
    WriteTIFFcompression(0);
    WriteTIFFpredictor(2);
}

TEST_F(ConverterRun, BrowsingStartsAtAnExistingFolderAndKeepsTheTextOnCancel) {
    form.SelectInputDirectoryButton.click();
    EXPECT_EQ(presenter.folder_questions, std::vector<std::string>{"Select a folder:"});
    EXPECT_EQ(presenter.folder_starts, std::vector<std::string>{in});
    EXPECT_EQ(form.InputDirectoryEdit.text(), in);
    presenter.folder_answers.push_back("/chosen");
    form.OutputDirectoryEdit.set_text(tmp.file("nowhere"));
    form.SelectOutputDirectoryButton.click();
    EXPECT_EQ(presenter.folder_starts.back(), "");
    EXPECT_EQ(form.OutputDirectoryEdit.text(), "/chosen");
}

TEST_F(ConverterRun, DirectoriesAreReadAtEveryShowingAndWrittenAtEveryClosing) {
    form.show();
    EXPECT_EQ(form.InputDirectoryEdit.text(), "");  // no file yet
    EXPECT_EQ(form.ProgressLabel.caption(), "0 %");
    EXPECT_EQ(form.left(), (1920 - 425) / 2);
    form.InputDirectoryEdit.set_text("C:\\scans\\");
    form.OutputDirectoryEdit.set_text("/out dir");
    form.CloseButton.click();
    EXPECT_FALSE(form.visible());
    const std::string ini = slurp(tmp.file("Quorvel.ini"));
    EXPECT_EQ(ini, "[Directories]\ninput_directory=C:\\scans\\\noutput_directory=/out dir\n");
    form.InputDirectoryEdit.set_text("");
    form.show();
    EXPECT_EQ(form.InputDirectoryEdit.text(), "C:\\scans\\");
    EXPECT_EQ(form.OutputDirectoryEdit.text(), "/out dir");
}

// Settings the form is handed, not the library's: what the dialogs show and a run writes.
struct RecordedSettings : ui::ConverterSettings {
    Properties shown{1.5, 600, "handed", ui::TTiffDialog::kMacintosh, 3};
    double bitrate = 0;
    std::string comment;
    int compression_item = -1, show_properties = -1;
    Properties properties() const override { return shown; }
    void set_wsq(double rate, int, char* text) override {
        bitrate = rate;
        comment = text;
    }
    void set_tiff(int item, uint16_t) override { compression_item = item; }
    void set_show_properties(bool show) override { show_properties = show; }
    void forget_comment(const char*) override {}
};

TEST_F(ConverterRun, DialogsShowAndRunsWriteTheSettingsTheFormIsHanded) {
    RecordedSettings settings;
    form.set_settings(&settings);
    form.show();
    EXPECT_EQ(ui::wsq_dialog().ppiEdit.text(), "600");
    EXPECT_EQ(ui::wsq_dialog().comment_textEdit.text(), "handed");
    EXPECT_EQ(ui::tiff_dialog().CompressionBox.item_index(), ui::TTiffDialog::kMacintosh);
    fs::create_directories(out);
    form.OutputFileFormatComboBox.set_item_index(0);
    form.StartConversionButton.click();
    form.OutputFileFormatComboBox.set_item_index(2);
    form.StartConversionButton.click();
    EXPECT_EQ(settings.bitrate, 1.5);
    EXPECT_EQ(settings.comment, "handed");
    EXPECT_EQ(settings.compression_item, ui::TTiffDialog::kMacintosh);
    EXPECT_EQ(settings.show_properties, 1);
    EXPECT_EQ(ReadWSQ_bitrate(), 0.75);  // the library's are untouched
    form.CloseButton.click();
    form.set_settings(&ui::library_settings());
    ui::wsq_dialog().BitrateEdit.set_text("0.75");
    ui::wsq_dialog().ppiEdit.set_text("500");
    ui::wsq_dialog().comment_textEdit.set_text("Vellacor");
    ui::tiff_dialog().CompressionBox.set_item_index(0);
    ui::tiff_dialog().PredictorEdit.set_text("2");
}

}  // namespace
}  // namespace quorvel::testing

namespace quorvel::testing {
namespace {

TEST(ConverterFormLifetime, TheCommentSettingNeverPointsIntoAWindowThatIsGone) {
    {
        TempDir tmp;
        RecordingPresenter presenter;
        FakeBackend backend;
        ui::TFileFormatConverterForm form;
        form.set_ini_path(tmp.file("Quorvel.ini"));
        form.set_backend(&backend);
        form.InputDirectoryEdit.set_text(tmp.path().string());
        form.OutputDirectoryEdit.set_text(tmp.path().string());
        ui::wsq_dialog().comment_textEdit.set_text("temporary");
        form.StartConversionButton.click();
        EXPECT_STREQ(ReadWSQ_comment(), "temporary");
    }
    EXPECT_STREQ(ReadWSQ_comment(), "Vellacor");
    ui::wsq_dialog().comment_textEdit.set_text("Vellacor");
}

}  // namespace
}  // namespace quorvel::testing
