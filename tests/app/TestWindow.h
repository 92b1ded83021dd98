#pragma once

#include "app/fZelvan.h"
#include "support/PrintQt.h"

#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// A main window that believes its executable lives in a temporary folder of its own, a portable
// copy (it holds the key store "keys"), so its settings, window-state and debug files never touch
// anything outside the test. Its home is in that folder too, should a test take the keys away.
class TestWindow {
  public:
    explicit TestWindow(const QStringList& arguments = {},
                        const QString& executableName = QStringLiteral("zelvan"))
        : TestWindow(nullptr, arguments, executableName)
    {
    }

    // `prepare` puts files beside the executable before the window is made (settings, window state).
    explicit TestWindow(const std::function<void(const QString& folder)>& prepare,
                        const QStringList& arguments = {},
                        const QString& executableName = QStringLiteral("zelvan"))
    {
        EXPECT_TRUE(FFolder.isValid());
        EXPECT_TRUE(QDir(FFolder.path())
                        .mkdir(QStringLiteral("keys"),
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        if (prepare)
            prepare(FFolder.path());
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("HOME"), FFolder.filePath(QStringLiteral("home")));
        FWindow = std::make_unique<TfmZelvan>(
            StartupOptions{FFolder.filePath(executableName), arguments, environment});
    }

    // Closes the window as the operator would, storing its state; the test may then read the files.
    void destroy() { FWindow.reset(); }

    TfmZelvan& operator*() { return *FWindow; }
    TfmZelvan* operator->() { return FWindow.get(); }
    TfmZelvan* get() { return FWindow.get(); }
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
    std::unique_ptr<TfmZelvan> FWindow;
};
