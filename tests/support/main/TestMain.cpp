// Test programs need a Qt application object: text codecs, QUuid, file helpers and the
// window all expect one. GUI test folders are built with ZELVAN_TEST_GUI and get the client's
// own application object, so an error that leaves a handler is shown exactly as in the client.
#include <gtest/gtest.h>

#ifdef ZELVAN_TEST_GUI
#include "app/Application.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
using TestApplication = TApplication;

namespace {

// A modal window that no test answers would wait for an operator forever and hang the suite.
// One left open for this long fails the running test with what it says, and is closed.
constexpr int UnansweredModalMs = 10000;

class TUnansweredModalWatch final : public QObject {
  public:
    explicit TUnansweredModalWatch(QObject* parent) : QObject(parent)
    {
        connect(&FTimer, &QTimer::timeout, this, &TUnansweredModalWatch::check);
        FTimer.start(200);
    }

  private:
    void check()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != FSeen) {
            FSeen = modal;
            FSince.start();
            return;
        }
        if (!modal || FSince.elapsed() < UnansweredModalMs)
            return;
        const auto* box = qobject_cast<QMessageBox*>(modal);
        ADD_FAILURE() << "a modal window was left unanswered: " << modal->windowTitle().toStdString()
                      << (box ? ": " + box->text().toStdString() : std::string());
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        FSeen = nullptr;
    }

    QTimer FTimer;
    QPointer<QWidget> FSeen;
    QElapsedTimer FSince;
};

} // namespace
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
#ifdef ZELVAN_TEST_GUI
    new TUnansweredModalWatch(&app);
#endif
    return RUN_ALL_TESTS();
}
