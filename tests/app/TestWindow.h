#pragma once

#include "ScriptedDialogs.h"
#include "app/StartupOptions.h"
#include "app/fZelvan.h"
#include "client/Session.h"
#include "support/PrintQt.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// What a test window is made from besides its folder: files put beside the executable before
// the window is made (settings, window state), its command line, and what its session takes from
// the test: a key store, a clock, identifiers, HTTP limits.
class TestWindowSetup {
  public:
    TestWindowSetup& prepare(std::function<void(const QString& folder)> files)
    {
        prepare_ = std::move(files);
        return *this;
    }
    TestWindowSetup& arguments(QStringList list)
    {
        arguments_ = std::move(list);
        return *this;
    }
    TestWindowSetup& executableName(QString name)
    {
        executableName_ = std::move(name);
        return *this;
    }
    // Empty: "keys" beside the executable.
    TestWindowSetup& keyStore(QString path)
    {
        keyStore_ = std::move(path);
        return *this;
    }
    TestWindowSetup& session(std::function<void(SessionOptions&)> change)
    {
        session_ = std::move(change);
        return *this;
    }
    // The test's own dialogs; without them the window answers to scripted dialogs of its own.
    TestWindowSetup& dialogs(ScriptedDialogs& scripted)
    {
        dialogs_ = &scripted;
        return *this;
    }

  private:
    friend class TestWindow;
    std::function<void(const QString& folder)> prepare_;
    QStringList arguments_;
    QString executableName_ = QStringLiteral("zelvan");
    QString keyStore_;
    std::function<void(SessionOptions&)> session_;
    ScriptedDialogs* dialogs_ = nullptr;
};

// A main window that believes its executable lives in a temporary folder of its own, a portable
// copy (it holds the key store "keys"), so its settings, window-state and debug files never touch
// anything outside the test. Its home is in that folder too, should a test take the keys away.
class TestWindow {
  public:
    explicit TestWindow(const QStringList& arguments = {},
                        const QString& executableName = QStringLiteral("zelvan"))
        : TestWindow(TestWindowSetup().arguments(arguments).executableName(executableName))
    {
    }

    // `prepare` puts files beside the executable before the window is made (settings, window state).
    explicit TestWindow(const std::function<void(const QString& folder)>& prepare,
                        const QStringList& arguments = {},
                        const QString& executableName = QStringLiteral("zelvan"))
        : TestWindow(TestWindowSetup().prepare(prepare).arguments(arguments).executableName(executableName))
    {
    }

    explicit TestWindow(const TestWindowSetup& setup)
    {
        EXPECT_TRUE(FFolder.isValid());
        EXPECT_TRUE(QDir(FFolder.path())
                        .mkdir(QStringLiteral("keys"),
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        if (setup.prepare_)
            setup.prepare_(FFolder.path());
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("HOME"), FFolder.filePath(QStringLiteral("home")));
        SessionOptions options =
            StartupOptions{FFolder.filePath(setup.executableName_), setup.arguments_, environment}
                .sessionOptions();
        options.keyStoreOption = setup.keyStore_;
        if (setup.session_)
            setup.session_(options);
        FSession = std::make_unique<Session>(std::move(options));
        FDialogs = setup.dialogs_ ? setup.dialogs_ : &FOwnDialogs;
        FWindow = std::make_unique<TfmZelvan>(*FSession, *FDialogs);
    }

    // Closes the window as the operator would, storing its state; the test may then read the files.
    void destroy() { FWindow.reset(); }

    TfmZelvan& operator*() { return *FWindow; }
    TfmZelvan* operator->() { return FWindow.get(); }
    TfmZelvan* get() { return FWindow.get(); }
    Session& session() { return *FSession; }
    ScriptedDialogs& dialogs() { return *FDialogs; }

    // What the status bar's third panel says, as the operator reads it.
    QString status() { return control<QLabel>(QStringLiteral("sbMainPanel3"))->text(); }
    void setStatus(const QString& text) { control<QLabel>(QStringLiteral("sbMainPanel3"))->setText(text); }
    // An operation runs from the press of its button until its last message has been shown; its
    // cancel button is there meanwhile.
    bool busy() { return !control<QPushButton>(QStringLiteral("buCancelOperation"))->isHidden(); }
    QString folder() const { return FFolder.path(); }

    // The control of that name; a missing one fails the test.
    template <class T> T* control(const QString& name)
    {
        T* found = FWindow->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << "no " << T::staticMetaObject.className() << " named "
                                  << name.toStdString();
        return found;
    }

  private:
    QTemporaryDir FFolder;
    ScriptedDialogs FOwnDialogs;
    ScriptedDialogs* FDialogs = nullptr;
    std::unique_ptr<Session> FSession;
    std::unique_ptr<TfmZelvan> FWindow;
};
