#include "support/FakeSoapValues.h"

namespace {

// The window's provider compares names without regard to the case of ASCII letters only.
QString KeyOf(const QString& name)
{
    QString key = name;
    for (QChar& c : key)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return key;
}

} // namespace

FakeSoapValues::FakeSoapValues(std::initializer_list<std::pair<QString, QString>> values)
{
    for (const auto& [key, value] : values)
        set(key, value);
}

FakeSoapValues& FakeSoapValues::set(const QString& key, const QString& value)
{
    FValues.insert(KeyOf(key), [value] { return value; });
    return *this;
}

FakeSoapValues& FakeSoapValues::setGenerator(const QString& key, std::function<QString()> generator)
{
    FValues.insert(KeyOf(key), std::move(generator));
    return *this;
}

FakeSoapValues& FakeSoapValues::remove(const QString& key)
{
    FValues.remove(KeyOf(key));
    return *this;
}

FakeSoapValues& FakeSoapValues::setAll(const QString& value)
{
    for (auto it = FValues.begin(); it != FValues.end(); ++it)
        it.value() = [value] { return value; };
    return *this;
}

void FakeSoapValues::DisplayRecord(const XmlDocument& /*document*/, QStringList& /*lines*/) {}

QString FakeSoapValues::GetFieldValue(const QString& name)
{
    FReads.append(name);
    const auto it = FValues.constFind(KeyOf(name));
    if (it == FValues.constEnd())
        throw EFakeUnknownValue(QStringLiteral("Не определено значение для <") + name + u'>');
    return it.value()();
}
