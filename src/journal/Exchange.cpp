#include "journal/Exchange.h"

#include <array>

namespace {

struct OutcomeEntry {
    ExchangeOutcome outcome;
    const char* name;
    const char* caption;
};

constexpr std::array Outcomes{
    OutcomeEntry{ExchangeOutcome::sending, "sending", "отправляется"},
    OutcomeEntry{ExchangeOutcome::accepted, "accepted", "принято"},
    OutcomeEntry{ExchangeOutcome::refused, "refused", "отказ"},
    OutcomeEntry{ExchangeOutcome::transport, "transport", "нет ответа"},
    OutcomeEntry{ExchangeOutcome::unverified, "unverified", "подпись ответа не проверена"},
    OutcomeEntry{ExchangeOutcome::cancelled, "cancelled", "отменено"},
    OutcomeEntry{ExchangeOutcome::unknown, "unknown", "неизвестно"},
};

struct OperationEntry {
    const char* name;
    const char* caption;
};

constexpr std::array Operations{
    OperationEntry{"payment", "Платеж"},
    OperationEntry{"package-status", "Статус пакета"},
    OperationEntry{"charges", "Начисления"},
    OperationEntry{"document-details", "Платежные документы"},
    OperationEntry{"order", "Извещение"},
    OperationEntry{"cancellation", "Аннулирование"},
    OperationEntry{"get-state", "Статус извещения"},
};

} // namespace

QString OutcomeName(ExchangeOutcome outcome)
{
    for (const OutcomeEntry& entry : Outcomes)
        if (entry.outcome == outcome)
            return QLatin1String(entry.name);
    return {};
}

std::optional<ExchangeOutcome> OutcomeFromName(const QString& name)
{
    for (const OutcomeEntry& entry : Outcomes)
        if (name == QLatin1String(entry.name))
            return entry.outcome;
    return std::nullopt;
}

QString OutcomeCaption(ExchangeOutcome outcome)
{
    for (const OutcomeEntry& entry : Outcomes)
        if (entry.outcome == outcome)
            return QString::fromUtf8(entry.caption);
    return {};
}

const QList<QString>& JournalOperationNames()
{
    static const QList<QString> names = [] {
        QList<QString> list;
        for (const OperationEntry& entry : Operations)
            list << QLatin1String(entry.name);
        return list;
    }();
    return names;
}

QString OperationCaption(const QString& operation)
{
    for (const OperationEntry& entry : Operations)
        if (operation == QLatin1String(entry.name))
            return QString::fromUtf8(entry.caption);
    return operation;
}
