#include "foundation/AtomicFileWriter.h"
#include "foundation/Exceptions.h"
#include "foundation/KeyValueFile.h"

#include "support/FileSizeLimit.h"
#include "support/PrintQt.h"
#include "support/Raised.h"
#include "support/ReadOnlyFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void PutFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace

// The upper half of Windows-1251 as an independent converter (the C library's iconv) reads it.
// 0x98 is left out: iconv has no character for it.
TEST(KeyValueFile, AnsiCodePageAgreesWithIconv)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray bytes;
    for (int b = 0x20; b <= 0xFF; ++b)
        if (b != 0x7F && b != 0x98)
            bytes.append(char(b));
    const QString path = dir.filePath(QStringLiteral("cp1251.bin"));
    PutFileBytes(path, bytes);

    QProcess iconv;
    iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("CP1251"),
                                          QStringLiteral("-t"), QStringLiteral("UTF-8"), path});
    ASSERT_TRUE(iconv.waitForFinished(10000));
    ASSERT_EQ(iconv.exitCode(), 0) << iconv.readAllStandardError().toStdString();
    const QString expected = QString::fromUtf8(iconv.readAllStandardOutput());
    ASSERT_EQ(expected.size(), bytes.size());

    const QString decoded = DecodeAnsiText(bytes);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(decoded.at(i).unicode(), expected.at(i).unicode())
            << "byte " << std::hex << (int(bytes.at(i)) & 0xFF);

    QByteArray encoded;
    EXPECT_TRUE(EncodeAnsiText(expected, encoded));
    EXPECT_EQ(encoded.toHex(), bytes.toHex());

    // The one byte without a character must not stop the rest of the text from being read.
    const QString withGap = DecodeAnsiText(QByteArray::fromHex("41 98 42"));
    ASSERT_EQ(withGap.size(), 3);
    EXPECT_EQ(withGap.at(0), u'A');
    EXPECT_EQ(withGap.at(2), u'B');

    QByteArray unused;
    EXPECT_FALSE(EncodeAnsiText(QStringLiteral("Ω"), unused));
    EXPECT_FALSE(EncodeAnsiText(QString::fromUtf8("\xF0\x9F\x98\x80"), unused));
}

// Files written by hand in a Windows editor: Windows-1251 bytes, no byte-order mark.
TEST(KeyValueFile, ReadsHandWrittenWindows1251File)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Pay.txt"));
    // SystemName=Банк «Россия», PayerName=Ёлкин №1, Note=яю (the last two bytes look like a
    // UTF-16 mark only at the very start of a file).
    PutFileBytes(path, QByteArray::fromHex("53797374656d4e616d653d c1e0edea20abd0eef1f1e8ffbb 0d0a"
                                           "50617965724e616d653d a8ebeae8ed20b931 0d0a"
                                           "4e6f74653d fffe 0d0a"));
    const QStringList lines = ReadKeyValueFile(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(KeyValue(lines, QStringLiteral("SystemName")), QStringLiteral("Банк «Россия»"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("PayerName")), QStringLiteral("Ёлкин №1"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Note")), QStringLiteral("яю"));
}

TEST(KeyValueFile, WritesWindows1251WithCrLf)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Zelvan.ini"));
    WriteKeyValueFile(path, {QStringLiteral("SystemName=Банк"), QStringLiteral("Sign=€"), QString(),
                             QStringLiteral("a\nb\r\nc\rd")});
    EXPECT_EQ(FileBytes(path).toHex(' '), QByteArray::fromHex("53797374656d4e616d653d c1e0edea 0d0a"
                                                              "5369676e3d 88 0d0a"
                                                              "0d0a"
                                                              "61 0d0a 62 0d0a 63 0d0a 64 0d0a")
                                              .toHex(' '));

    // Written once more with the same file name: replaced, not appended to.
    WriteKeyValueFile(path, {QStringLiteral("A=1")});
    EXPECT_EQ(FileBytes(path), QByteArray("A=1\r\n"));
}

// A character Windows-1251 has no place for would be lost; such a file goes out as UTF-8 with a mark.
TEST(KeyValueFile, KeepsCharactersOutsideWindows1251)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Order.txt"));
    const QString value = QString::fromUtf8("Ωmega \xE4\xB8\xAD \xF0\x9F\x98\x80 Ёж €");
    WriteKeyValueFile(path, {QStringLiteral("SupplierName=") + value, QStringLiteral("Year=2016")});

    const QByteArray bytes = FileBytes(path);
    EXPECT_EQ(bytes.left(3).toHex(), QByteArray("efbbbf"));
    EXPECT_EQ(bytes.mid(3), QByteArray("SupplierName=") + value.toUtf8() + "\r\nYear=2016\r\n");

    const QStringList lines = ReadKeyValueFile(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(KeyValue(lines, QStringLiteral("SupplierName")), value);
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Year")), QStringLiteral("2016"));

    // Once the odd character is gone, the file is plain Windows-1251 again.
    WriteKeyValueFile(path, {QStringLiteral("SupplierName=Ёж")});
    EXPECT_EQ(FileBytes(path).toHex(), QByteArray("537570706c6965724e616d653da8e60d0a"));
}

TEST(KeyValueFile, ByteOrderMarkSelectsEncoding)
{
    const QString expected = QStringLiteral("Привет");
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"utf-8", QByteArray::fromHex("efbbbf 4b3d d09fd180d0b8d0b2d0b5d182 0d0a 583d31")},
        {"utf-16le", QByteArray::fromHex("fffe 4b003d00 1f04400438043204350442040d000a00 58003d003100")},
        {"utf-16be", QByteArray::fromHex("feff 004b003d 041f04400438043204350442000d000a 0058003d0031")},
    };
    for (const Case& c : cases) {
        const QStringList lines = SplitTextLines(DecodeKeyValueText(c.bytes));
        ASSERT_EQ(lines.size(), 2) << c.name;
        // The mark is not part of the first key.
        EXPECT_EQ(KeyValue(lines, QStringLiteral("K")), expected) << c.name;
        EXPECT_EQ(KeyValue(lines, QStringLiteral("X")), QStringLiteral("1")) << c.name;
    }
}

TEST(KeyValueFile, InvalidBytesBecomeReplacementCharacters)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Charge.txt"));
    PutFileBytes(path, QByteArray::fromHex("efbbbf 413d78ff79 0d0a 423d c3 0d0a 433d6f6b 0d0a"));
    const QStringList lines = ReadKeyValueFile(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(KeyValue(lines, QStringLiteral("A")), QString::fromUtf16(u"x\uFFFDy"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("B")), QString::fromUtf16(u"\uFFFD"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("C")), QStringLiteral("ok"));

    // A UTF-16 file cut off in the middle of a character.
    const QStringList cut =
        SplitTextLines(DecodeKeyValueText(QByteArray::fromHex("fffe 41003d003100 0d000a00 42")));
    ASSERT_EQ(cut.size(), 2);
    EXPECT_EQ(KeyValue(cut, QStringLiteral("A")), QStringLiteral("1"));
    EXPECT_EQ(cut.at(1), QString::fromUtf16(u"\uFFFD"));
}

TEST(KeyValueFile, SplitsLinesOnAnyBreak)
{
    using L = QStringList;
    EXPECT_EQ(SplitTextLines(QStringLiteral("a\r\nb\nc\rd")), (L{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines(QStringLiteral("a\r\n")), (L{"a"}));
    EXPECT_EQ(SplitTextLines(QStringLiteral("a\r\n\r\nb\n\n")), (L{"a", "", "b", ""}));
    EXPECT_EQ(SplitTextLines(QString()), L{});
    EXPECT_EQ(SplitTextLines(QStringLiteral("\r\n")), (L{""}));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("unix.txt"));
    PutFileBytes(path, "SearchType=2\nSupplierBillID=18\n\ntail line\n");
    EXPECT_EQ(ReadKeyValueFile(path), (L{"SearchType=2", "SupplierBillID=18", "", "tail line"}));
}

TEST(KeyValueFile, LooksUpKeysLikeTheOperatorExpects)
{
    const QStringList lines = {
        QStringLiteral("Narrative=a=b"),
        QStringLiteral("supplierbillid=123"),
        QStringLiteral("SupplierBillID=456"),
        QStringLiteral("NoSeparator"),
        QStringLiteral("Empty="),
        QStringLiteral("Amount2=5"),
        QStringLiteral("Ключ=кириллица"),
    };
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Narrative")), QStringLiteral("a=b"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("SUPPLIERBILLID")), QStringLiteral("123"));
    EXPECT_EQ(KeyValue(lines, QStringLiteral("NoSeparator")), QString());
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Empty")), QString());
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Amount")), QString());
    EXPECT_EQ(KeyValue(lines, QStringLiteral("Missing")), QString());
    EXPECT_EQ(KeyValue(lines, QStringLiteral("КЛЮЧ")), QStringLiteral("кириллица"));
}

TEST(KeyValueFile, FailuresNameTheFileAndKeepTheOldOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const QString missing = dir.filePath(QStringLiteral("absent.txt"));
    EXPECT_TRUE(Raised<Exception>([&] { ReadKeyValueFile(missing); }).contains(QStringLiteral("absent.txt")));

    const QString folder = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath(QStringLiteral("Zelvan.ini"));
    const QByteArray old = "SystemName=OLD\r\n";
    PutFileBytes(path, old);

    // The disk fills up: half way through a large content, and at the very first octets of a
    // small one, which a buffered writer would only have sent out at the commit.
    const auto fileNames = [&] { return QDir(folder).entryList(QDir::Files | QDir::Hidden); };
    for (const qsizetype size : {qsizetype(1) << 20, qsizetype(40)}) {
        SCOPED_TRACE(size);
        QString message;
        {
            ScopedFileSizeLimit disk(size == 40 ? 8 : 4096);
            message = Raised<EFileWriteError>(
                [&] { WriteKeyValueFile(path, {QStringLiteral("Narrative=") + QString(size, u'x')}); });
        }
        EXPECT_EQ(message, QStringLiteral("Ошибка записи в файл \"%1\".\nFile too large")
                               .arg(QDir::toNativeSeparators(path)));
        EXPECT_EQ(FileBytes(path), old);
        EXPECT_EQ(fileNames(), QStringList{"Zelvan.ini"});
    }

    // A replaced file keeps its permissions: a settings file the operator closed stays closed.
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    WriteKeyValueFile(path, {QStringLiteral("SystemName=NEW")});
    EXPECT_EQ(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    WriteKeyValueFile(path, {QStringLiteral("SystemName=OLD")});
    ASSERT_EQ(FileBytes(path), old);

    // A folder that takes no new files.
    ReadOnlyFolder locked(folder);
    if (!locked.isReadOnly())
        GTEST_SKIP() << "this file system lets the folder be written whatever its permissions";
    const QString message =
        Raised<Exception>([&] { WriteKeyValueFile(path, {QStringLiteral("SystemName=NEW")}); });
    EXPECT_TRUE(message.contains(QStringLiteral("Zelvan.ini"))) << message.toStdString();
    EXPECT_EQ(FileBytes(path), old);
}
