#include "support/GoldenText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// One element per line, indented by depth, content and end tag on the start tag's line when
// the element holds only text: the layout of the golden files.
QString LayOut(const QString& text)
{
    QString out;
    int depth = 0;
    bool closeOnSameLine = false; // the latest piece was a start tag or text
    qsizetype i = 0;
    while (i < text.size()) {
        const bool isTag = text[i] == u'<';
        qsizetype next = isTag ? text.indexOf(u'>', i) + 1 : text.indexOf(u'<', i);
        if (next <= 0)
            next = text.size();
        const QString piece = text.mid(i, next - i);
        i = next;
        if (!isTag) {
            out += piece;
            closeOnSameLine = true;
            continue;
        }
        if (piece.startsWith(u"</")) {
            --depth;
            if (!closeOnSameLine)
                out += u'\n' + QString(qMax(depth, 0) * 2, u' ');
            out += piece;
            closeOnSameLine = false;
            continue;
        }
        if (!out.isEmpty())
            out += u'\n' + QString(depth * 2, u' ');
        out += piece;
        const bool opens = !piece.startsWith(u"<?") && !piece.endsWith(u"/>");
        if (opens)
            ++depth;
        closeOnSameLine = opens;
    }
    return out + u'\n';
}

} // namespace

QString SliceFromTo(const QString& text, const QString& from, const QString& to)
{
    const qsizetype start = text.indexOf(from);
    const qsizetype end = start < 0 ? -1 : text.indexOf(to, start);
    return end < 0 ? QString() : text.mid(start, end + to.size() - start);
}

QString ReadGoldenText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read golden file " << path.toStdString();
        return {};
    }
    QString text;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& line : lines) {
        qsizetype start = 0;
        while (start < line.size() && (line[start] == u' ' || line[start] == u'\t'))
            ++start;
        text += line.mid(start);
    }
    return text;
}

QString MaskElementContent(QString text, const QString& elementName, const QString& placeholder)
{
    const QString open = u'<' + elementName;
    const QString close = QStringLiteral("</") + elementName + u'>';
    qsizetype from = 0;
    while (true) {
        qsizetype start = text.indexOf(open, from);
        if (start < 0)
            break;
        const QChar after = start + open.size() < text.size() ? text[start + open.size()] : QChar();
        if (after != u'>' && after != u' ') {
            from = start + open.size();
            continue;
        }
        const qsizetype contentStart = text.indexOf(u'>', start) + 1;
        const qsizetype end = text.indexOf(close, contentStart);
        if (contentStart <= 0 || end < 0)
            break;
        text.replace(contentStart, end - contentStart, placeholder);
        from = contentStart + placeholder.size() + close.size();
    }
    return text;
}

::testing::AssertionResult MatchesGolden(const QString& actual, const QString& goldenPath)
{
    const QString expected = ReadGoldenText(goldenPath);
    if (actual == expected)
        return ::testing::AssertionSuccess();

    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const qsizetype from = qMax<qsizetype>(0, at - 80);
    const QString actualPath =
        QDir::current().absoluteFilePath(QFileInfo(goldenPath).fileName() + QStringLiteral(".actual"));
    QFile out(actualPath);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(LayOut(actual).toUtf8());
    return ::testing::AssertionFailure() << "differs from " << goldenPath.toStdString() << " at character "
                                         << at << "\n  expected: …" << expected.mid(from, 160).toStdString()
                                         << "\n  actual:   …" << actual.mid(from, 160).toStdString()
                                         << "\n  actual text laid out in " << actualPath.toStdString();
}
