// SaveBMPToFile: the seven types read back by ImageMagick and Pillow, the working copy, target
// names, dialogs, the null handle, unreadable settings text, and failed writes.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "api/save.h"
#include "api/settings.h"
#include "support/load_save_support.h"
#include "support/recording_presenter.h"
#include "support/ridge_pattern.h"
#include "ui/dialogs.h"
#include "wsq/diag.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> files_in(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Save : public ::testing::Test {
protected:
    void SetUp() override {
        SetShowFilePropertiesDialog(0);
        host = make_section(colour_pattern(45, 33));
        before = handle_picture(host);
    }
    void TearDown() override {
        EXPECT_EQ(max_difference(handle_picture(host), before), 0) << "the host's bitmap changed";
        DeleteObject(host);
        SetShowFilePropertiesDialog(1);
    }
    TempDir dir;
    HBITMAP host = nullptr;
    Picture before;
    wsq::DiagCapture quiet;
};

struct TypeRow {
    int type;
    const char* extension;
    double min_psnr;  // 99: the same pixels
};

const TypeRow kTypes[] = {
    {2, ".bmp", 99}, {3, ".tif", 99}, {4, ".png", 99},
    {5, ".jpg", 30}, {6, ".tga", 99}, {7, ".rgb", 99},
};

TEST_F(Save, EveryTypeIsReadBackByImageMagickAndPillow) {
    RecordingPresenter recorder;
    for (const TypeRow& row : kTypes) {
        save(host, dir.file("scan.old.xyz"), row.type);
        const std::string written = dir.file(std::string("scan.old") + row.extension);
        ASSERT_TRUE(fs::exists(written)) << row.extension;
        EXPECT_GE(psnr(magick_rgb(written), before), row.min_psnr)
            << row.extension << " by ImageMagick";
        EXPECT_GE(psnr(pillow_rgb(written), before), row.min_psnr) << row.extension << " by Pillow";
    }
    EXPECT_TRUE(recorder.messages.empty());
}

// A device-dependent bitmap (32 bits, rows from the top) is copied and saved like a section.
TEST_F(Save, ADeviceDependentBitmapSavesItsPixels) {
    std::vector<uint8_t> bgrx;
    for (int y = 0; y < before.height; ++y)
        for (int x = 0; x < before.width; ++x)
            bgrx.insert(bgrx.end(),
                        {before.at(x, y, 2), before.at(x, y, 1), before.at(x, y, 0), 0});
    const HBITMAP device = CreateBitmap(before.width, before.height, 1, 32, bgrx.data());
    ASSERT_NE(device, nullptr);
    save(device, dir.file("ddb"), 4);
    DeleteObject(device);
    EXPECT_EQ(max_difference(magick_rgb(dir.file("ddb.png")), before), 0);
}

TEST_F(Save, TiffCompressionsFromTheSettingsStillGiveTheSamePixels) {
    for (int code : {1, 2, 0}) {
        WriteTIFFcompression(code);
        std::string name(1, 't');
        name += std::to_string(code);
        save(host, dir.file(name), 3);
        const std::string written = dir.file(name + ".tif");
        EXPECT_EQ(max_difference(magick_rgb(written), before), 0) << "compression " << code;
        const std::string described = run_output("tiffinfo " + quoted(written));
        EXPECT_NE(described.find(code == 1   ? "AdobeDeflate"
                                 : code == 2 ? "PackBits"
                                             : "None"),
                  std::string::npos)
            << described;
    }
}

TEST_F(Save, BmpIsTheUncompressed24BitLayout) {
    save(host, dir.file("a"), 2);
    const std::vector<uint8_t> b = read_file(dir.file("a.bmp"));
    ASSERT_GE(b.size(), 54u);
    auto le32 = [&](size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
    };
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(2), b.size());
    EXPECT_EQ(le32(10), 54u);  // no colour table
    EXPECT_EQ(le32(14), 40u);
    EXPECT_EQ(le32(18), 45u);
    EXPECT_EQ(le32(22), 33u);  // positive: bottom-up
    EXPECT_EQ(b[28], 24);
    EXPECT_EQ(le32(30), 0u);
    EXPECT_EQ(b.size(), 54u + 136u * 33u);  // 45 * 3 = 135 padded to 136
    // And it loads again with the same pixels.
    EXPECT_EQ(max_difference(handle_picture(load(dir.file("a.bmp"))), before), 0);
}

TEST_F(Save, WsqUsesTheDialogsValuesAndLeavesThemInTheSettings) {
    const std::vector<uint8_t> ridges = ridge_pattern(120, 100, 5);
    Picture gray{120, 100, 3, {}};
    for (uint8_t v : ridges) gray.samples.insert(gray.samples.end(), {v, v, v});
    const HBITMAP print = make_section(gray);
    WriteWSQ_bitrate(2.25);
    WriteWSQ_ppi(1000);
    char comment[] = "right index";
    WriteWSQ_comment(comment);
    save(print, dir.file("print.png"), 1);
    DeleteObject(print);
    EXPECT_DOUBLE_EQ(ReadWSQ_bitrate(), 2.25);
    EXPECT_EQ(ReadWSQ_ppi(), 1000);
    EXPECT_STREQ(ReadWSQ_comment(), "right index");
    EXPECT_NE(ReadWSQ_comment(), comment) << "the setting holds the library's own copy";
    EXPECT_GT(psnr(handle_picture(load(dir.file("print.wsq"))), gray), 30.0);
    EXPECT_EQ(ReadWSQ_ppi(), 1000);
    // Leave the settings as loading gives them, for the tests that follow in this process.
    WriteWSQ_bitrate(0.75);
    WriteWSQ_ppi(500);
    WriteWSQ_comment(api::default_comment());
}

TEST_F(Save, TypesOutsideOneToSevenWriteNothing) {
    for (int type : {0, 8, -1, 1000}) save(host, dir.file("x.bmp"), type);
    EXPECT_TRUE(files_in(dir).empty());
}

TEST_F(Save, ANullHandleIsReportedForEveryTypeButWsqAndTiffAndWritesNothing) {
    RecordingPresenter recorder;
    const std::pair<int, std::string> expected[] = {
        {1, ""},
        {3, ""},
        {4, "Invalid bitmap handle"},
        {6, "Invalid bitmap handle"},
        {7, "Invalid bitmap handle"},
        {2, "Cannot save \"" + dir.file("n.bmp") + "\": Invalid bitmap handle"},
        {5, "Cannot save \"" + dir.file("n.jpg") + "\": Invalid bitmap handle"},
    };
    for (const auto& [type, text] : expected) {
        recorder.messages.clear();
        save(nullptr, dir.file("n"), type);
        if (text.empty()) {
            EXPECT_TRUE(recorder.messages.empty()) << type;
            continue;
        }
        ASSERT_EQ(recorder.messages.size(), 1u) << type;
        EXPECT_EQ(recorder.messages[0].caption, "Save Error");
        EXPECT_EQ(recorder.messages[0].text, text);
        EXPECT_EQ(recorder.messages[0].type, unsigned(MB_OK | MB_ICONERROR));
    }
    EXPECT_TRUE(files_in(dir).empty());
}

TEST(TargetNames, ReplaceOnlyTheLastExtensionOfTheFileName) {
    const std::tuple<const char*, const char*, const char*> table[] = {
        {"C:\\out\\scan.bmp", ".wsq", "C:\\out\\scan.wsq"},
        {"scan", ".png", "scan.png"},
        {"C:\\old.dir\\scan", ".tif", "C:\\old.dir\\scan.tif"},
        {"/old.dir/scan", ".tif", "/old.dir/scan.tif"},
        {"a:b.c:scan", ".jpg", "a:b.c:scan.jpg"},
        {"x.tar.gz", ".rgb", "x.tar.rgb"},
        {"dot.", ".tga", "dot.tga"},
    };
    for (const auto& [name, extension, target] : table)
        EXPECT_EQ(api::replace_extension(name, extension), target);
}

TEST_F(Save, ADotInADirectoryIsNoExtension) {
    fs::create_directory(dir.path() / "old.dir");
    save(host, dir.file("old.dir/scan"), 3);
    EXPECT_TRUE(fs::exists(dir.path() / "old.dir" / "scan.tif"));
}

TEST_F(Save, CancelInTheDialogStillSavesWithTheValuesItOpenedWith) {
    SetShowFilePropertiesDialog(1);
    WriteWSQ_bitrate(2.25);
    WriteTIFFcompression(2);
    RecordingPresenter recorder;
    recorder.on_modal = [](toolkit::Form& form) {
        form.begin_show();
        if (&form == &ui::wsq_dialog()) ui::wsq_dialog().BitrateEdit.set_text("7");
        else ui::tiff_dialog().CompressionBox.set_item_index(ui::TTiffDialog::kNone);
        form.press_escape();
        return form.modal_result();
    };
    const std::vector<uint8_t> ridges = ridge_pattern(100, 100, 1);
    Picture gray{100, 100, 3, {}};
    for (uint8_t v : ridges) gray.samples.insert(gray.samples.end(), {v, v, v});
    const HBITMAP print = make_section(gray);
    save(print, dir.file("c"), 1);
    save(print, dir.file("c"), 3);
    DeleteObject(print);
    EXPECT_EQ(recorder.shown_forms.size(), 2u);
    EXPECT_TRUE(fs::exists(dir.path() / "c.wsq"));
    EXPECT_TRUE(fs::exists(dir.path() / "c.tif"));
    EXPECT_DOUBLE_EQ(ReadWSQ_bitrate(), 2.25);
    EXPECT_EQ(ReadTIFFcompression(), 2);
    WriteWSQ_bitrate(0.75);
    WriteTIFFcompression(0);
}

TEST_F(Save, TextThatIsNoNumberIsReportedAndNothingIsWritten) {
    RecordingPresenter recorder;
    ui::TWSQDialog& dialog = ui::wsq_dialog();
    const std::pair<toolkit::Edit*, const char*> cases[] = {{&dialog.BitrateEdit, "fast"},
                                                            {&dialog.ppiEdit, ""}};
    for (const auto& [edit, text] : cases) {
        const std::string kept = edit->text();
        edit->set_text(text);
        recorder.messages.clear();
        save(host, dir.file("n"), 1);
        edit->set_text(kept);
        ASSERT_EQ(recorder.messages.size(), 1u) << text;
        EXPECT_EQ(recorder.messages[0].caption, "Save Error");
        EXPECT_NE(recorder.messages[0].text.find(dir.file("n.wsq")), std::string::npos)
            << recorder.messages[0].text;
        std::string quoted(1, '\'');
        quoted.append(text).push_back('\'');
        EXPECT_NE(recorder.messages[0].text.find(quoted), std::string::npos);
    }
    EXPECT_TRUE(files_in(dir).empty());
}

// A file-size limit makes the write fail part-way, for every save type; the older file must
// survive whole and no temporary file may stay behind.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previous_handler_);
    }

private:
    rlimit previous_{};
    void (*previous_handler_)(int) = nullptr;
};

TEST(FailedSave, KeepsTheOlderFileAndLeavesNoTemporaryFile) {
    wsq::DiagCapture quiet;
    SetShowFilePropertiesDialog(0);
    Picture noise{200, 200, 3, ridge_pattern(600, 200, 9)};
    const HBITMAP big = make_section(noise);
    for (const auto& [type, extension] : std::vector<std::pair<int, std::string>>{{1, ".wsq"},
                                                                                  {2, ".bmp"},
                                                                                  {3, ".tif"},
                                                                                  {4, ".png"},
                                                                                  {5, ".jpg"},
                                                                                  {6, ".tga"},
                                                                                  {7, ".rgb"}}) {
        TempDir dir;
        const std::vector<uint8_t> old = {'o', 'l', 'd'};
        write_file(dir.file("x" + extension), old);
        RecordingPresenter recorder;
        {
            FileSizeLimit limit(2048);
            save(big, dir.file("x"), type);
        }
        EXPECT_EQ(read_file(dir.file("x" + extension)), old) << extension;
        EXPECT_EQ(files_in(dir), std::vector<std::string>{"x" + extension}) << extension;
        ASSERT_GE(recorder.messages.size(), 1u) << extension;
        // The WSQ and TIFF writers report through their own message boxes.
        if (type != 1 && type != 3) {
            EXPECT_EQ(recorder.messages[0].caption, "Save Error");
        }
        // A bitmap the writers cannot take fails before the old file is touched.
        save(nullptr, dir.file("x"), type);
        EXPECT_EQ(read_file(dir.file("x" + extension)), old) << extension << " null handle";
        // Without the limit the same save replaces the file.
        save(big, dir.file("x"), type);
        EXPECT_GT(read_file(dir.file("x" + extension)).size(), 2048u) << extension;
    }
    DeleteObject(big);
    SetShowFilePropertiesDialog(1);
}

TEST(FailedSave, AMissingDirectoryIsReportedWithTheFileName) {
    SetShowFilePropertiesDialog(0);
    const HBITMAP bitmap = make_section(colour_pattern(8, 8));
    RecordingPresenter recorder;
    save(bitmap, "/nonexistent-dir/x", 2);
    save(bitmap, "/nonexistent-dir/x", 5);
    DeleteObject(bitmap);
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_NE(recorder.messages[0].text.find("/nonexistent-dir/x.bmp"), std::string::npos);
    EXPECT_NE(recorder.messages[1].text.find("/nonexistent-dir/x.jpg"), std::string::npos);
    SetShowFilePropertiesDialog(1);
}

}  // namespace
}  // namespace quorvel::testing
