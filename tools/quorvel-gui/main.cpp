// quorvel-gui: the library's windows on the desktop. Opens the "File format converter"
// (or, with --wsq-dialog or --tiff-dialog, one property dialog); --screenshot FILE saves a
// picture of the window once it is up and quits. A folder or file named on the command line
// (the desktop's "Open with") becomes the converter's input folder: the folder, or the file's.
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>

#include <cstring>
#include <string>

#include <quorvel/quorvel.h>

#include "ui/converter_form.h"
#include "ui/dialogs.h"
#include "ui/qt/qt_presenter.h"

namespace {

struct Options {
    std::string which = "converter";
    std::string screenshot;
    std::string input;  // a folder or file to convert from
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wsq-dialog") == 0) options.which = "wsq";
        else if (std::strcmp(argv[i], "--tiff-dialog") == 0) options.which = "tiff";
        else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            options.screenshot = argv[++i];
        else if (argv[i][0] != '-') options.input = argv[i];
    }
    return options;
}

// Grabs the active window (or the converter's) into the file, then closes what is open.
void schedule_screenshot(const std::string& file, quorvel::ui::qt::QtPresenter& presenter) {
    QTimer::singleShot(400, [file, &presenter] {
        QWidget* window = QApplication::activeModalWidget();
        if (window == nullptr) window = presenter.window_of(quorvel::ui::converter_form());
        if (window != nullptr) window->grab().save(QString::fromStdString(file));
        if (QApplication::activeModalWidget() != nullptr)
            QApplication::activeModalWidget()->close();
        quorvel::ui::converter_form().close();
        QApplication::quit();
    });
}

std::string input_folder(const std::string& named) {
    const QFileInfo info(QString::fromStdString(named));
    return (info.isDir() ? info.absoluteFilePath() : info.absolutePath()).toStdString();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const Options options = parse(argc, argv);
    quorvel::ui::qt::QtPresenter presenter;
    if (!options.screenshot.empty()) schedule_screenshot(options.screenshot, presenter);
    if (options.which == "wsq") return quorvel::ui::wsq_dialog().show_modal(), 0;
    if (options.which == "tiff") return quorvel::ui::tiff_dialog().show_modal(), 0;
    ShowFileConverter();
    // After the window has shown the remembered folders, which a named one replaces.
    if (!options.input.empty())
        quorvel::ui::converter_form().InputDirectoryEdit.set_text(input_folder(options.input));
    // The program ends when its window is closed (the form is then only hidden).
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (!quorvel::ui::converter_form().visible()) QApplication::quit();
    });
    watch.start(100);
    return app.exec();
}
