// The real windows under a virtual X server, driven with QTest as a user drives them: tick
// formats, type directories, start a run over a real folder, stop one, Cancel a dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include <quorvel/quorvel.h>

#include "support/test_support.h"
#include "toolkit/number_text.h"
#include "ui/converter_form.h"
#include "ui/converter_ini.h"
#include "ui/dialogs.h"
#include "ui/qt/qt_presenter.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

QApplication& application() {
    static int argc = 1;
    static char name[] = "test_qt";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals go first at exit.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

template <class Widget>
Widget* find(ui::qt::FormWindow& window, const char* name) {
    return qobject_cast<Widget*>(window.widget_for(name));
}

// Clicks a list row's tick box as a user does.
void tick_row(QListWidget* list, int row) {
    list->scrollToItem(list->item(row));
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() + 10, rect.center().y()));
}

// Runs `action` on the modal dialog once it is up.
void when_modal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start(20);
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        form.set_ini_path(tmp.file("Quorvel.ini"));
        in = tmp.file("in");
        fs::create_directories(in + "/sub");
        if (!have_tool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
        for (int i = 0; i < 30; ++i) {
            const std::string name =
                in + (i % 3 == 0 ? "/sub/p" : "/p") + std::to_string(i) + ".png";
            if (i < 2)
                ASSERT_EQ(run("convert -size 96x96 plasma:fractal -colorspace gray '" + name + "'"),
                          0);
            else fs::copy_file(in + "/p1.png", name);
        }
        presenter.show_modeless(form);
        window = presenter.window_of(form);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    void TearDown() override {
        if (form.visible()) form.close();
        SetShowFilePropertiesDialog(1);
    }
    void type_directories(const std::string& output) {
        auto* input_edit = find<QLineEdit>(*window, "InputDirectoryEdit");
        auto* output_edit = find<QLineEdit>(*window, "OutputDirectoryEdit");
        input_edit->clear();
        form.InputDirectoryEdit.set_text("");
        QTest::keyClicks(input_edit, QString::fromStdString(in));
        form.OutputDirectoryEdit.set_text(output);
        window->refresh();
        EXPECT_EQ(output_edit->text().toStdString(), output);
    }

    TempDir tmp;
    ui::qt::QtPresenter presenter;
    ui::TFileFormatConverterForm form;
    ui::qt::FormWindow* window = nullptr;
    std::string in;
};

TEST_F(Windows, TickingTypingAndARunOverARealFolder) {
    auto* list = find<QListWidget>(*window, "InputFileFormatsCheckListBox");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 43);
    tick_row(list, 0);  // "All Bitmap Files" ticks every format
    EXPECT_TRUE(form.InputFileFormatsCheckListBox.checked(42));
    EXPECT_EQ(list->item(42)->checkState(), Qt::Checked);
    tick_row(list, 8);  // PNG off, and "All Bitmap Files" with it
    EXPECT_FALSE(form.InputFileFormatsCheckListBox.checked(0));
    tick_row(list, 8);
    type_directories(tmp.file("out"));
    EXPECT_EQ(form.InputDirectoryEdit.text(), in);
    QTest::mouseClick(find<QCheckBox>(*window, "SubdirectoriesCheckBox"), Qt::LeftButton);
    EXPECT_TRUE(form.SubdirectoriesCheckBox.checked());
    auto* output_format = find<QComboBox>(*window, "OutputFileFormatComboBox");
    output_format->setFocus();
    QTest::keyClick(output_format, Qt::Key_Down);  // WSQ -> BMP
    EXPECT_EQ(form.OutputFileFormatComboBox.item_index(), 1);
    form.OutputFileFormatComboBox.set_item_index(3);
    when_modal(
        [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });  // "Create directory": OK
    QTest::mouseClick(find<QPushButton>(*window, "StartConversionButton"), Qt::LeftButton);
    EXPECT_EQ(form.ProgressLabel.caption(), "100 %");
    EXPECT_EQ(find<QProgressBar>(*window, "ProgressBar")->value(), 100);
    EXPECT_TRUE(fs::exists(tmp.file("out/sub/p0.png")));
    EXPECT_TRUE(fs::exists(tmp.file("out/p29.png")));
    EXPECT_TRUE(find<QPushButton>(*window, "StartConversionButton")->isEnabled());
    EXPECT_FALSE(find<QPushButton>(*window, "StopConversionButton")->isEnabled());
}

TEST_F(Windows, StopDuringARunLeavesTheBarShort) {
    fs::create_directories(tmp.file("out"));
    form.InputFileFormatsCheckListBox.set_checked(8, true);
    type_directories(tmp.file("out"));
    form.OutputFileFormatComboBox.set_item_index(3);
    // The Stop button is pressed from the event loop that the run lets through between files.
    QTimer::singleShot(0, [this] {
        QTest::mouseClick(find<QPushButton>(*window, "StopConversionButton"), Qt::LeftButton);
    });
    QTest::mouseClick(find<QPushButton>(*window, "StartConversionButton"), Qt::LeftButton);
    EXPECT_TRUE(form.stop_requested());
    EXPECT_NE(form.ProgressLabel.caption(), "100 %");
    EXPECT_LT(form.ProgressBar.position(), 100);
    size_t written = 0;
    for (const auto& entry : fs::directory_iterator(tmp.file("out")))
        written += entry.is_regular_file();
    EXPECT_LT(written, 20u);
}

TEST_F(Windows, CancelInTheWsqDialogRestoresItsEditsAndTheRunGoesOn) {
    fs::create_directories(tmp.file("out"));
    form.InputFileFormatsCheckListBox.set_checked(8, true);
    type_directories(tmp.file("out"));
    form.OutputFileFormatComboBox.set_item_index(0);
    const std::string before = ui::wsq_dialog().BitrateEdit.text();
    when_modal([before](QWidget* dialog) {
        auto* window = static_cast<ui::qt::FormWindow*>(dialog);
        auto* edit = qobject_cast<QLineEdit*>(window->widget_for("BitrateEdit"));
        edit->setFocus();
        QTest::keyClicks(edit, "5x");  // the key filter lets the digit through, not the letter
        EXPECT_EQ(ui::wsq_dialog().BitrateEdit.text(), before + "5");
        QTest::mouseClick(qobject_cast<QPushButton*>(window->widget_for("CancelBtn")),
                          Qt::LeftButton);
    });
    QTest::mouseClick(find<QPushButton>(*window, "StartConversionButton"), Qt::LeftButton);
    EXPECT_EQ(ui::wsq_dialog().BitrateEdit.text(), before);
    EXPECT_TRUE(fs::exists(tmp.file("out/p1.wsq")));
    EXPECT_EQ(form.ProgressLabel.caption(), "100 %");
}

TEST_F(Windows, TheTiffDialogIsARealWindowWithItsOwnControls) {
    when_modal([](QWidget* dialog) {
        auto* window = static_cast<ui::qt::FormWindow*>(dialog);
        EXPECT_EQ(dialog->windowTitle().toStdString(), "TIFF Properties");
        EXPECT_FALSE(window->widget_for("PredictorEdit")->isEnabled());
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    ui::tiff_dialog().show_modal();
    EXPECT_FALSE(ui::tiff_dialog().visible());
}

TEST_F(Windows, ClosingTheWindowWritesTheDirectories) {
    form.InputDirectoryEdit.set_text("/scans");
    window->close();
    EXPECT_FALSE(form.visible());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ui::read_ini_directories(tmp.file("Quorvel.ini")).input_directory, "/scans");
}

TEST_F(Windows, TheWindowIsCentredOnTheScreensAvailableArea) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(form.left(), (area.width() - form.width()) / 2);
    EXPECT_EQ(form.top(), (area.height() - form.height()) / 2);
    EXPECT_EQ(window->pos(), QPoint(form.left(), form.top()));
}

}  // namespace
}  // namespace quorvel::testing
