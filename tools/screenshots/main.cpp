// zelvan-screenshots: makes every picture of the operator's guide with the real window, on the demo
// data against the sandbox that scripts/screenshots prepares and starts. It fills and runs each
// operation as an operator would, grabs the tabs and the dialogs as they appear, and fails when an
// operation does not end as the guide describes it, so a picture never shows something else.
//
//   zelvan-screenshots --list                      the names of the pictures, one a line
//   zelvan-screenshots --data DIR --out FOLDER     makes them as FOLDER/<name>.png
#include "app/Application.h"
#include "app/Handler.h"
#include "app/StartupOptions.h"
#include "app/fZelvan.h"
#include "client/Session.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <deque>
#include <functional>
#include <set>

namespace {

// Every picture this program makes; the guide shows them as images/<name>.png.
const char* const Pictures[] = {
    "settings",       "certificate",       "payment-gisgmp", "payer-identifier",
    "payment-sent",   "package-status-50", "package-done",   "charges-gisgmp",
    "error",          "payment-gisgkx",    "order-sent",     "order-state",
    "charges-gisgkx", "journal",           "info",           "help",
};

void Say(const QString& text)
{
    std::fputs((text + u'\n').toUtf8().constData(), stderr);
}

// A modal window the next press brings up: how it is filled before its picture, the picture's name
// (none: no picture), and whether a question is answered with Yes.
struct Expected {
    QString picture;
    bool yes = true;
    std::function<void(QWidget*)> fill;
};

// Photographs the window and the real dialogs and message boxes it opens, as the operator sees them.
class Photographer final {
  public:
    // Made before the window, so a message at its start does not wait unanswered.
    explicit Photographer(const QString& folder) : folder_(folder) { watchModalWindows(); }

    void watch(TfmZelvan& window) { window_ = &window; }

    void expect(Expected expected) { expected_.push_back(std::move(expected)); }

    void grab(QWidget* widget, const QString& picture)
    {
        QCoreApplication::processEvents();
        const QString path = QDir(folder_).filePath(picture + QStringLiteral(".png"));
        if (widget->grab().save(path))
            made_.insert(picture);
        else
            fail(QStringLiteral("cannot write ") + path);
    }

    // Shows the tab that holds the button, presses it, and waits until its operation and every
    // window it was expected to bring up are over.
    void press(const QString& button)
    {
        auto* control = window_->findChild<QPushButton*>(button);
        if (!control)
            return fail(QStringLiteral("no button ") + button);
        show(control);
        control->click();
        // A dialog of its own has been answered by now; an operation runs on until the window says
        // it has ended, its cancel button shown meanwhile.
        auto* cancel = window_->findChild<QPushButton*>(QStringLiteral("buCancelOperation"));
        if (!cancel->isHidden() && !waitForOperationEnd())
            return fail(QStringLiteral("%1: the operation did not end").arg(button));
        if (!expected_.empty())
            fail(QStringLiteral("%1: the operation did not end as expected").arg(button));
    }

    bool waitForOperationEnd()
    {
        QEventLoop loop;
        QObject::connect(window_, &TfmZelvan::operationEnded, &loop, [&loop] { loop.exit(0); });
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
        limit.start(120000);
        return loop.exec() == 0;
    }

    void show(QWidget* control)
    {
        auto* tabs = window_->findChild<QTabWidget*>(QStringLiteral("pcMain"));
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->widget(i) == control || tabs->widget(i)->isAncestorOf(control))
                tabs->setCurrentIndex(i);
        for (QWidget* w = control->parentWidget(); w; w = w->parentWidget())
            if (auto* box = qobject_cast<QScrollArea*>(w))
                box->ensureWidgetVisible(control);
    }

    void fail(const QString& text)
    {
        Say(QStringLiteral("zelvan-screenshots: ") + text);
        failed_ = true;
    }

    // True when every picture was made and nothing went otherwise than expected.
    bool succeeded()
    {
        for (const char* picture : Pictures)
            if (!made_.contains(QString::fromLatin1(picture)))
                fail(QStringLiteral("no picture ") + QLatin1String(picture));
        return !failed_;
    }

  private:
    // Every modal window, whoever opens it, is met by the next expectation: filled, photographed
    // and answered. One that nobody expected is answered with No and fails the run.
    void watchModalWindows()
    {
        auto* watch = new QTimer(qApp);
        ConnectHandler(watch, &QTimer::timeout, qApp, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            if (expected_.empty()) {
                const auto* box = qobject_cast<QMessageBox*>(modal);
                fail(QStringLiteral("unexpected window: ") + (box ? box->text() : modal->windowTitle()));
                return answer(modal, false);
            }
            const Expected expected = expected_.front();
            expected_.pop_front();
            if (expected.fill)
                expected.fill(modal);
            if (!expected.picture.isEmpty())
                grab(modal, expected.picture);
            answer(modal, expected.yes);
        });
        watch->start(50);
    }

    static void answer(QWidget* modal, bool yes)
    {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QAbstractButton* button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
            if (!button)
                button = box->button(QMessageBox::Ok);
            if (button)
                return button->click();
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            return dialog->reject();
        modal->close();
    }

    TfmZelvan* window_ = nullptr;
    QString folder_;
    std::deque<Expected> expected_;
    std::set<QString> made_;
    bool failed_ = false;
};

// Tells the sandbox to answer an operation with one of its training failures ("charges=soap-fault",
// "all=none").
void SetSandboxFault(TfmZelvan& window, const QString& fault)
{
    QUrl url(window.findChild<QComboBox*>(QStringLiteral("cbServiceChargesGISGMP"))->currentText());
    url.setPath(QStringLiteral("/sandbox/fault"));
    THttpClient http;
    http.Post(url.toString(), fault.toUtf8(), {QByteArrayLiteral("Content-Type: text/plain")});
}

void MakePictures(TfmZelvan& window, Photographer& camera)
{
    const auto tab = [&](const char* name) {
        camera.show(window.findChild<QWidget*>(QLatin1String(name)));
        QCoreApplication::processEvents();
    };
    const auto picture = [&](const char* name) { camera.grab(&window, QLatin1String(name)); };

    tab("tsSettings");
    picture("settings");
    camera.expect({QStringLiteral("certificate"), false, {}});
    camera.press(QStringLiteral("buSertShow"));

    tab("tsGISGMPPayment");
    picture("payment-gisgmp");
    camera.expect({QStringLiteral("payer-identifier"), false, [](QWidget* dialog) {
                       if (auto* number = dialog->findChild<QLineEdit*>(QStringLiteral("edDocNumber1")))
                           number->setText(QStringLiteral("4510123456"));
                   }});
    camera.press(QStringLiteral("buPayerIdentifier"));
    // The package is still in work at the first question, as a busy system has it, and done at the next.
    camera.expect({QStringLiteral("payment-sent"), true, {}});
    camera.expect({QStringLiteral("package-status-50"), true, {}});
    camera.press(QStringLiteral("buPaymentSend"));
    camera.expect({QStringLiteral("package-done"), true, {}});
    camera.press(QStringLiteral("buPackageStatus"));

    camera.press(QStringLiteral("buGetCharge"));
    picture("charges-gisgmp");
    SetSandboxFault(window, QStringLiteral("charges=soap-fault"));
    camera.expect({QStringLiteral("error"), true, {}});
    camera.press(QStringLiteral("buGetCharge"));
    SetSandboxFault(window, QStringLiteral("all=none"));

    tab("tsGISGKXPayment");
    camera.expect({QStringLiteral("order-sent"), true, {}});
    camera.expect({QStringLiteral("order-state"), true, {}});
    camera.press(QStringLiteral("buOrderSend"));
    picture("payment-gisgkx");

    camera.press(QStringLiteral("buGetDocumentDetails"));
    picture("charges-gisgkx");

    // Every exchange above, as the journal lists it.
    tab("tsJournal");
    picture("journal");

    tab("tsInfo");
    picture("info");
    camera.press(QStringLiteral("buHelp"));
    if (auto* guide = window.findChild<QTextBrowser*>(QStringLiteral("tbGuide")))
        camera.grab(guide->window(), QStringLiteral("help"));
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--list") == 0) {
            for (const char* picture : Pictures)
                std::printf("%s\n", picture);
            return 0;
        }

    TApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype out = arguments.indexOf(QStringLiteral("--out"));
    if (out < 0 || out + 1 >= arguments.size()) {
        Say(QStringLiteral("usage: zelvan-screenshots --list | --data DIR --out FOLDER"));
        return 2;
    }
    Photographer camera(arguments[out + 1]);
    // The window names its settings file after its program: it is shown as the client itself, on the
    // demo's zelvan.ini.
    StartupOptions options = StartupOptions::fromApplication();
    options.executablePath = QFileInfo(options.executablePath).dir().filePath(QStringLiteral("zelvan"));
    Session session(options.sessionOptions());
    TfmZelvan window(session);
    camera.watch(window);
    // A window of a size that shows a tab whole, whatever the demo's window state says.
    window.setWindowState(Qt::WindowNoState);
    window.resize(1000, 720);
    window.show();
    try {
        MakePictures(window, camera);
    } catch (const Exception& e) {
        camera.fail(e.message());
    }
    return camera.succeeded() ? 0 : 1;
}
