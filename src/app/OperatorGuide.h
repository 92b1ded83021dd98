#pragma once

#include <QObject>
#include <QUrl>

class QTabWidget;
class QTextBrowser;
class QWidget;

// The operator's guide in a window of the program: F1 anywhere in the main window, or the «Справка»
// button of the information tab, opens it at the chapter of the tab in use. The guide is built into
// the program as a resource, so the help shown always describes this very version, wherever the
// program was installed or copied to, and nothing is fetched from outside.
class OperatorGuide final : public QObject {
  public:
    // Adds F1 to `window` and the button to the layout of `infoTab`.
    OperatorGuide(QWidget* window, QTabWidget* tabs, QWidget* infoTab);

    // The chapter that describes the tab of that object name; the contents for any other.
    static QUrl ChapterOf(const QString& tabName);

    // Opens the guide at the chapter of the current tab.
    void ShowCurrentChapter();

    // The window's text, once it has been opened.
    QTextBrowser* Browser() const { return browser_; }

  private:
    void Show(const QUrl& chapter);

    QWidget* window_;
    QTabWidget* tabs_;
    // Made at the first request, owned by the main window like every window of the program.
    QWidget* guideWindow_ = nullptr;
    QTextBrowser* browser_ = nullptr;
};
