#include <gtest/gtest.h>

#include <cstring>

#include <quorvel/quorvel.h>

#include "api/settings.h"
#include "ui/dialogs.h"

namespace quorvel::api {
namespace {

// Fresh settings and dialogs for each case, so no case depends on another's leftovers.
struct Fixture : ::testing::Test {
    Settings settings;
    ui::TWSQDialog wsq;
    ui::TTiffDialog tiff;
};

TEST_F(Fixture, DefaultsMatchTheDialogs) {
    EXPECT_EQ(settings.wsq_bitrate, 0.75);
    EXPECT_EQ(settings.wsq_ppi, 500);
    EXPECT_STREQ(settings.wsq_comment, "Vellacor");
    EXPECT_EQ(settings.wsq_comment, default_comment());
    EXPECT_EQ(settings.tiff_compression, kTiffNone);
    EXPECT_EQ(settings.tiff_predictor, 2);
    EXPECT_EQ(settings.show_properties, 1);
    EXPECT_EQ(wsq.comment_textEdit.text(), settings.wsq_comment);
}

TEST(TiffCodes, ExportCodesMapToWriterCodesAndBack) {
    EXPECT_EQ(tiff_writer_code(0), 0);
    EXPECT_EQ(tiff_writer_code(1), 13);
    EXPECT_EQ(tiff_writer_code(2), 9);
    for (int other : {-1, 3, 5, 13, 9}) EXPECT_EQ(tiff_writer_code(other), 0) << other;
    EXPECT_EQ(tiff_export_code(13), 1);
    EXPECT_EQ(tiff_export_code(9), 2);
    for (int other : {0, 1, 2, 8, 255})
        EXPECT_EQ(tiff_export_code(static_cast<uint8_t>(other)), 0) << other;
}

TEST_F(Fixture, WsqSettersWriteTheDialogEdits) {
    write_wsq_bitrate(settings, wsq, 2.25);
    write_wsq_ppi(settings, wsq, -7);
    char text[] = "a comment";
    write_wsq_comment(settings, wsq, text);
    EXPECT_EQ(settings.wsq_bitrate, 2.25);
    EXPECT_EQ(wsq.BitrateEdit.text(), "2.25");
    EXPECT_EQ(settings.wsq_ppi, -7);
    EXPECT_EQ(wsq.ppiEdit.text(), "-7");
    EXPECT_EQ(settings.wsq_comment, text);  // the pointer itself, not a copy
    EXPECT_EQ(wsq.comment_textEdit.text(), "a comment");
    text[0] = 'A';  // the edit holds its own copy
    EXPECT_EQ(wsq.comment_textEdit.text(), "a comment");
    write_wsq_comment(settings, wsq, nullptr);
    EXPECT_EQ(settings.wsq_comment, nullptr);
    EXPECT_EQ(wsq.comment_textEdit.text(), "");
}

TEST_F(Fixture, BitrateIsWrittenWithFifteenSignificantDigits) {
    write_wsq_bitrate(settings, wsq, 1.0 / 3.0);
    EXPECT_EQ(wsq.BitrateEdit.text(), "0.333333333333333");
    EXPECT_EQ(settings.wsq_bitrate, 1.0 / 3.0);  // the setting keeps every bit
}

// Zip resets the predictor to 2; the others keep it, and only PackBits and Zip let it be edited.
TEST_F(Fixture, CompressionChoiceSetsItsItemAndThePredictorRule) {
    const struct {
        int predictor, compression, stored;
        ui::TTiffDialog::Item item;
        const char* shown;
        bool editable;
    } cases[] = {
        {1, 1, kTiffZip, ui::TTiffDialog::kZip, "2", true},
        {7, 2, kTiffPackBits, ui::TTiffDialog::kMacintosh, "7", true},
        {7, 5, kTiffNone, ui::TTiffDialog::kNone, "7", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.compression);
        write_tiff_predictor(settings, tiff, c.predictor);
        write_tiff_compression(settings, tiff, c.compression);
        EXPECT_EQ(settings.tiff_compression, c.stored);
        EXPECT_EQ(settings.tiff_predictor, std::stoi(c.shown));
        EXPECT_EQ(tiff.CompressionBox.item_index(), c.item);
        EXPECT_EQ(tiff.PredictorEdit.text(), c.shown);
        EXPECT_EQ(tiff.PredictorEdit.enabled(), c.editable);
        EXPECT_EQ(tiff.PredictorEdit.read_only(), !c.editable);
    }
}

TEST_F(Fixture, PredictorKeepsTheLowSixteenBits) {
    write_tiff_predictor(settings, tiff, 65537);
    EXPECT_EQ(settings.tiff_predictor, 1);
    EXPECT_EQ(tiff.PredictorEdit.text(), "1");
    write_tiff_predictor(settings, tiff, -1);
    EXPECT_EQ(settings.tiff_predictor, 65535);
    EXPECT_EQ(tiff.PredictorEdit.text(), "65535");
}

// The exports work on the library's one state and its one pair of dialogs.
TEST(SettingsExports, WorkOnTheProcessWideStateAndDialogs) {
    EXPECT_STREQ(ReadWSQ_comment(), "Vellacor");
    WriteTIFFcompression(5);
    EXPECT_EQ(ReadTIFFcompression(), 0);
    WriteTIFFpredictor(65537);
    EXPECT_EQ(ReadTIFFpredictor(), 1);
    WriteTIFFcompression(1);
    EXPECT_EQ(ReadTIFFcompression(), 1);
    EXPECT_EQ(ReadTIFFpredictor(), 2);
    EXPECT_EQ(ui::tiff_dialog().CompressionBox.item_index(), ui::TTiffDialog::kZip);
    WriteTIFFcompression(2);
    EXPECT_EQ(ReadTIFFcompression(), 2);
    WriteWSQ_bitrate(2.25);
    EXPECT_EQ(ReadWSQ_bitrate(), 2.25);
    EXPECT_EQ(ui::wsq_dialog().BitrateEdit.text(), "2.25");
    WriteWSQ_ppi(1000);
    EXPECT_EQ(ReadWSQ_ppi(), 1000);
    EXPECT_EQ(ui::wsq_dialog().ppiEdit.text(), "1000");
    char comment[] = "mine";
    WriteWSQ_comment(comment);
    EXPECT_EQ(ReadWSQ_comment(), comment);
    SetShowFilePropertiesDialog(2);
    EXPECT_EQ(library_state().settings.show_properties, 2);
    EXPECT_EQ(TiffDialog, nullptr);
    EXPECT_EQ(WSQDialog, nullptr);
    EXPECT_EQ(FileFormatConverterForm, nullptr);
    // Leave the state as loading gives it.
    WriteWSQ_bitrate(0.75);
    WriteWSQ_ppi(500);
    WriteWSQ_comment(default_comment());
    WriteTIFFcompression(0);
    WriteTIFFpredictor(2);
    SetShowFilePropertiesDialog(1);
}

}  // namespace
}  // namespace quorvel::api
