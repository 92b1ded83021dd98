#pragma once

// A value source for message-builder tests: a table of ready texts by key (case-insensitive, as
// the window's provider matches them), optional generators for keys that give a new value on
// every read, and a log of every key asked in order.

#include "foundation/Exceptions.h"
#include "smev/SoapValues.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

// Raised for a key the table does not hold, with the message the window's provider gives.
ZELVAN_DECLARE_EXCEPTION(EFakeUnknownValue, Exception);

class FakeSoapValues final : public ISOAPValues {
  public:
    FakeSoapValues() = default;
    FakeSoapValues(std::initializer_list<std::pair<QString, QString>> values);

    FakeSoapValues& set(const QString& key, const QString& value);
    // Every read of the key calls the generator.
    FakeSoapValues& setGenerator(const QString& key, std::function<QString()> generator);
    FakeSoapValues& remove(const QString& key);
    // Every key of the table gets the same value (generators are replaced).
    FakeSoapValues& setAll(const QString& value);

    // Keys in the order they were asked, spelled as the caller spelled them.
    const QStringList& reads() const { return FReads; }
    void clearReads() { FReads.clear(); }

    void DisplayRecord(const XmlDocument& document, QStringList& lines) override;
    QString GetFieldValue(const QString& name) override;
    SoapRunOptions RunOptions() const override
    {
        SoapRunOptions given = options;
        given.identifiers = FIdentifiers.get();
        return given;
    }

    // The switches the builders see; test mode on and time stamping off, as a first start has them.
    SoapRunOptions options;

    // The Ids of the messages built from these values start after `last` ("00001" by default).
    void restartIdentifiers(quint32 last = 0) { FIdentifiers = std::make_shared<IdentifierSource>(last); }
    IdentifierSource& identifiers() const { return *FIdentifiers; }

  private:
    QHash<QString, std::function<QString()>> FValues;
    QStringList FReads;
    std::shared_ptr<IdentifierSource> FIdentifiers = std::make_shared<IdentifierSource>();
};
