// The operator's guide: F1 and the «Справка» button open it, in a window of the program, at the chapter
// of the tab in use, with its pictures; the pictures it shows are those scripts/screenshots makes, and
// its troubleshooting chapter lists the messages the programs can show, no more and no fewer.
#include "PressButton.h"
#include "TestWindow.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFragment>

namespace {

const QString Root = QDir(QStringLiteral(ZELVAN_TEST_FOLDER "/../..")).canonicalPath();
const QString Guide = Root + QStringLiteral("/docs/guide");
const QString Troubleshooting = QStringLiteral("docs/guide/problems.md");
const QString NotMessages = QStringLiteral("docs/guide/not-messages.txt");

QString ReadText(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

// A string literal of the sources, adjacent literals joined and escapes decoded, where it starts.
struct Literal {
    QString file;
    int line = 0;
    QString text;
};

// The string literals of one C++ source; comments and character literals are skipped.
QList<Literal> Literals(const QString& file, const QString& source)
{
    QList<Literal> literals;
    bool adjacent = false; // only blanks and comments since the last literal
    int line = 1;
    for (qsizetype i = 0; i < source.size();) {
        const QChar c = source[i];
        if (c == u'\n')
            ++line;
        if (source.mid(i, 2) == u"//") {
            i = source.indexOf(u'\n', i);
            if (i < 0)
                break;
            continue;
        }
        if (source.mid(i, 2) == u"/*") {
            const qsizetype end = source.indexOf(QStringLiteral("*/"), i + 2);
            line += int(source.mid(i, end - i).count(u'\n'));
            i = end < 0 ? source.size() : end + 2;
            continue;
        }
        if (c == u'\'' && !(i > 0 && source[i - 1].isDigit())) {
            for (++i; i < source.size() && source[i] != u'\''; ++i)
                if (source[i] == u'\\')
                    ++i;
            ++i;
            adjacent = false;
            continue;
        }
        if (c != u'"') {
            if (!c.isSpace())
                adjacent = false;
            ++i;
            continue;
        }
        QString text;
        const int start = line;
        for (++i; i < source.size() && source[i] != u'"'; ++i) {
            if (source[i] != u'\\') {
                text += source[i];
                continue;
            }
            const QChar escaped = source[++i];
            text += escaped == u'n'   ? QChar(u'\n')
                    : escaped == u'r' ? QChar(u'\r')
                    : escaped == u't' ? QChar(u'\t')
                                      : escaped;
        }
        ++i;
        if (adjacent && !literals.isEmpty())
            literals.last().text += text;
        else
            literals.append({file, start, text});
        adjacent = true;
    }
    return literals;
}

// Every string literal of the programs' sources (src/ and tools/).
QList<Literal> ProgramLiterals()
{
    QList<Literal> literals;
    for (const QString& folder : {QStringLiteral("src"), QStringLiteral("tools")}) {
        QDirIterator files(Root + u'/' + folder, {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                           QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            literals += Literals(QDir(Root).relativeFilePath(path), ReadText(path));
        }
    }
    return literals;
}

// The fixed parts of a text: split where a value goes in (%1 in the code, … in the guide), at line
// breaks and at XML tags (a reply the sandbox writes carries its message between tags), blanks trimmed.
QStringList FixedParts(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%\\d|…|[\r\n]|<[^<>]*>"));
    QStringList parts;
    for (const QString& part : text.split(placeholder))
        if (const QString trimmed = part.simplified(); !trimmed.isEmpty())
            parts << trimmed;
    return parts;
}

bool IsRussian(const QString& text)
{
    static const QRegularExpression cyrillic(QStringLiteral("\\p{Cyrillic}"));
    return text.contains(cyrillic);
}

// What an operator can be shown, as the guide's troubleshooting chapter has to list it: every Russian
// text of the programs, and the names of the key provider's steps that head its failures (Crypt or
// Cert and two or more words: "CryptAcquireContext", not the settings key "CryptContainer"); except the files
// and texts not-messages.txt names (captions, list items, the lines of the information tab, parts of a
// message that never stand alone).
QList<Literal> OperatorMessages(const QList<Literal>& literals)
{
    QStringList excludedFiles;
    QStringList excludedTexts;
    for (const QString& line : ReadText(Root + u'/' + NotMessages).split(u'\n')) {
        if (line.startsWith(u'«') && line.endsWith(u'»'))
            excludedTexts << line.mid(1, line.size() - 2)
                                 .replace(QStringLiteral("\\n"), QStringLiteral("\n"))
                                 .simplified();
        else if (!line.isEmpty() && !line.startsWith(u'#'))
            excludedFiles << line;
    }
    static const QRegularExpression providerStep(QStringLiteral("^(Crypt|Cert)([A-Z][a-z]+){2,}$"));
    QList<Literal> messages;
    for (const Literal& literal : literals)
        if ((IsRussian(literal.text) || literal.text.contains(providerStep)) &&
            !excludedFiles.contains(literal.file) && !excludedTexts.contains(literal.text.simplified()))
            messages << literal;
    return messages;
}

// The messages the troubleshooting chapter explains: its third-level headings.
QStringList GuideMessages()
{
    QStringList messages;
    for (const QString& line : ReadText(Root + u'/' + Troubleshooting).split(u'\n'))
        if (line.startsWith(QStringLiteral("### ")))
            messages << line.mid(4).trimmed().remove(u'\\');
    return messages;
}

// The pictures of the guide's chapters, by name without ".png".
QStringList GuidePictures()
{
    static const QRegularExpression image(QStringLiteral("!\\[[^\\]]*\\]\\(images/([^)]+)\\.png\\)"));
    QStringList pictures;
    for (const QString& chapter : QDir(Guide).entryList({QStringLiteral("*.md")}))
        for (const auto& match : image.globalMatch(ReadText(Guide + u'/' + chapter)))
            pictures << match.captured(1);
    pictures.removeDuplicates();
    return pictures;
}

// The pictures the screenshot program says it makes.
QStringList ScreenshotPictures()
{
    QProcess driver;
    driver.start(QStringLiteral(ZELVAN_SCREENSHOTS), {QStringLiteral("--list")});
    EXPECT_TRUE(driver.waitForFinished(30000));
    EXPECT_EQ(driver.exitCode(), 0);
    return QString::fromUtf8(driver.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// The pictures a chapter shows that cannot be loaded.
QStringList MissingPictures(QTextBrowser& browser)
{
    QStringList missing;
    for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next())
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            if (browser.loadResource(QTextDocument::ImageResource, QUrl(name)).isNull())
                missing << name;
        }
    return missing;
}

} // namespace

TEST(OperatorGuide, F1OnEveryTabAndTheHelpButtonOpenTheChapterOfThatTab)
{
    TestWindow window;
    window->show();
    auto* tabs = window.control<QTabWidget>(QStringLiteral("pcMain"));
    // F1 on the tab of that index, pressed in the main window; the guide it opened.
    const auto pressF1 = [&](int index) -> QTextBrowser* {
        tabs->setCurrentIndex(index);
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_F1);
        return window->findChild<QTextBrowser*>(QStringLiteral("tbGuide"));
    };
    // The chapter's title names the tab as the operator reads it on the tab.
    const auto showsChapterOf = [&](QTextBrowser& browser, int index) {
        return browser.window()->isVisible() && browser.window() != window.get() &&
               browser.document()->firstBlock().text().contains(
                   QStringLiteral("«%1»").arg(tabs->tabText(index)));
    };
    for (int i = 0; i < tabs->count(); ++i) {
        SCOPED_TRACE(tabs->tabText(i).toStdString());
        QTextBrowser* browser = pressF1(i);
        ASSERT_NE(browser, nullptr) << "F1 opened no guide";
        EXPECT_TRUE(showsChapterOf(*browser, i)) << browser->document()->firstBlock().text().toStdString();
        EXPECT_EQ(MissingPictures(*browser), QStringList());
    }

    // The information tab's button opens that tab's chapter again after another was read and the
    // guide was closed.
    QTextBrowser* browser = pressF1(0);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(showsChapterOf(*browser, 0));
    browser->window()->close();
    PressButton(window, QStringLiteral("buHelp"));
    EXPECT_TRUE(showsChapterOf(*browser, tabs->currentIndex()))
        << browser->document()->firstBlock().text().toStdString();
}

TEST(OperatorGuide, ShowsOnlyPicturesTheScreenshotScriptMakes)
{
    const QStringList made = ScreenshotPictures();
    ASSERT_FALSE(made.isEmpty());
    QStringList notMade;
    for (const QString& picture : GuidePictures())
        if (!made.contains(picture))
            notMade << picture;
    EXPECT_EQ(notMade, QStringList()) << "docs/guide shows pictures tools/screenshots does not make";

    // A committed picture the script no longer makes would never be brought up to date; every picture
    // it makes is committed, so the guide shows it from a clean clone.
    const QStringList committed =
        QDir(Guide + QStringLiteral("/images")).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QStringList stale;
    for (const QString& file : committed)
        if (!made.contains(QFileInfo(file).completeBaseName()))
            stale << file;
    EXPECT_EQ(stale, QStringList()) << "docs/guide/images holds pictures tools/screenshots does not make";
    QStringList missing;
    for (const QString& picture : made)
        if (!committed.contains(picture + QStringLiteral(".png")))
            missing << picture;
    EXPECT_EQ(missing, QStringList()) << "run scripts/screenshots and commit docs/guide/images";
}

TEST(OperatorGuide, TroubleshootingListsEveryMessageOfTheProgramsAndNoOther)
{
    const QList<Literal> literals = ProgramLiterals();
    const QStringList explained = GuideMessages();
    ASSERT_FALSE(explained.isEmpty()) << "no «### message» headings in " << Troubleshooting.toStdString();
    const QString explainedText = explained.join(u'\n');

    // Every fixed part in Russian (or the provider's step) of a message the code shows is in one of the
    // chapter's messages.
    QStringList unexplained;
    for (const Literal& message : OperatorMessages(literals))
        for (const QString& part : FixedParts(message.text))
            if ((IsRussian(part) || part == message.text) && !explainedText.contains(part))
                unexplained << QStringLiteral("%1:%2: «%3»").arg(message.file).arg(message.line).arg(part);
    EXPECT_TRUE(unexplained.isEmpty())
        << "Messages the programs show that " << Troubleshooting.toStdString()
        << " does not explain. Add each as a «### message» heading (… where a value goes in) with its"
           " cause and what to do, or, when it is no message (a caption, a list item), name it in "
        << NotMessages.toStdString() << ":\n"
        << unexplained.join(u'\n').toStdString();

    // Every word of the chapter's messages is in a text of the code: a message the code no longer
    // shows leaves words that nothing covers.
    QStringList codeParts;
    for (const Literal& literal : literals)
        for (const QString& part : FixedParts(literal.text))
            if (part.size() >= 3)
                codeParts << part;
    QStringList gone;
    for (const QString& message : explained) {
        QList<bool> covered(message.size(), false);
        for (const QString& part : codeParts)
            for (qsizetype at = message.indexOf(part); at >= 0; at = message.indexOf(part, at + 1))
                std::fill(covered.begin() + at, covered.begin() + at + part.size(), true);
        QString uncovered;
        for (qsizetype i = 0; i < message.size(); ++i)
            if (!covered[i] && message[i].isLetter())
                uncovered += message[i];
            else if (!uncovered.isEmpty() && !uncovered.endsWith(u' '))
                uncovered += u' ';
        if (!uncovered.trimmed().isEmpty())
            gone << QStringLiteral("«%1»: %2").arg(message, uncovered.trimmed());
    }
    EXPECT_TRUE(gone.isEmpty()) << Troubleshooting.toStdString()
                                << " explains messages the programs no longer show (the words not found in"
                                   " src/ or tools/ follow each):\n"
                                << gone.join(u'\n').toStdString();
}
