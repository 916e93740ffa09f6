// kdmupdate's main window: checks at start-up that the unit answers, and runs
// update packages. Each record of a package writes one image into the unit's
// flash and verifies it; the first failure ends the run.
#pragma once

#include "Program.h"
#include "flash/FlashDownload.h"
#include "flash/UpdatePackage.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <optional>

class QFrame;
class QLineEdit;
class QPushButton;

namespace kdm::ui {
class QtDownloadWindow;
}

namespace kdmupdate {

class Form2;

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Program &program, QWidget *parent = nullptr);
    ~Form1() override;

    // The downloads a package record runs, each true only after a verified write.
    [[nodiscard]] bool download_f(const std::filesystem::path &path);
    [[nodiscard]] bool bindownload(const std::filesystem::path &path);
    [[nodiscard]] bool bindownload_short(const std::filesystem::path &path);
    [[nodiscard]] bool hex_f(const std::filesystem::path &path);
    [[nodiscard]] bool hex_f_short(const std::filesystem::path &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void presenceCheck();
    void runUpdate();
    struct RunEnd {
        std::optional<std::filesystem::path> failedImage; // the image of the record that failed
        bool stopped = false;                             // an end request came before a record
    };
    // Runs the records one after the other, up to the first that fails.
    RunEnd runRecords(const std::vector<kdm::flash::PackageRecord> &records, const std::filesystem::path &folder);
    [[nodiscard]] bool runRecord(const kdm::flash::PackageRecord &record, const std::filesystem::path &image);
    // The download procedure on this window's controls.
    kdm::flash::FlashDownload flashDownload();
    [[nodiscard]] bool hexDownload(const std::filesystem::path &path, kdm::flash::HexImageKind kind);
    void showMicrocontrollerWindow();
    // Ends the program, or, during a run, once its current record has finished.
    void requestEnd();
    // Closes the handles and ends the program.
    void endNow();
    bool microcontrollerWindowOnScreen() const;
    void endWhenNoWindowIsLeft();

    Program &m_program;
    QPixmap m_background;
    std::unique_ptr<kdm::ui::QtDownloadWindow> m_downloadWindow;
    bool m_running = false;
    bool m_endRequested = false;
    bool m_closed = false;
    QPointer<Form2> m_form2;
    QLineEdit *Text1;
    QPushButton *Command21;
    QFrame *Picture1;
    QWidget *Shape1;
    QLineEdit *Text2;
    QPushButton *Command1;
};

} // namespace kdmupdate
