#include "client/Form.h"

#include "foundation/Exceptions.h"

namespace {

QStringList Months()
{
    return {QString(),
            QStringLiteral("Январь"),
            QStringLiteral("Февраль"),
            QStringLiteral("Март"),
            QStringLiteral("Апрель"),
            QStringLiteral("Май"),
            QStringLiteral("Июнь"),
            QStringLiteral("Июль"),
            QStringLiteral("Август"),
            QStringLiteral("Сентябрь"),
            QStringLiteral("Октябрь"),
            QStringLiteral("Ноябрь"),
            QStringLiteral("Декабрь")};
}

// The lists began in 2016 and must reach the current period whenever the client runs, and the
// next year for payments made ahead. Field files keep the year as text, so older files still
// find their items.
QStringList Years(QDate today)
{
    QStringList years{QString()};
    for (int year = 2016; year <= std::max(2017, today.year() + 1); ++year)
        years << QString::number(year);
    return years;
}

} // namespace

void Form::select(const QString& name, const QStringList& items, int index)
{
    set(name, index >= 0 && index < items.size() ? items[index] : QString(), index);
}

const Form::Field& Form::field(const QString& name) const
{
    const auto it = fields_.constFind(name);
    if (it == fields_.constEnd())
        throw Exception(QStringLiteral("Нет поля <") + name + u'>');
    return *it;
}

QString Form::ControlText(const QString& name) const
{
    return field(name).text;
}

int Form::ControlIndex(const QString& name) const
{
    return field(name).index;
}

QStringList FixedListNames()
{
    return {QStringLiteral("cbChangeStatus"),
            QStringLiteral("cbPaytCondition"),
            QStringLiteral("cbChargeSearchType"),
            QStringLiteral("cbChargeKind"),
            QStringLiteral("cbChangeStatus2"),
            QStringLiteral("cbOrderType"),
            QStringLiteral("cbYear2"),
            QStringLiteral("cbMonth2"),
            QStringLiteral("cbChargeSearchType2"),
            QStringLiteral("cbYear"),
            QStringLiteral("cbMonth")};
}

QStringList ListItems(const QString& control, QDate today)
{
    if (control == u"cbChangeStatus")
        return {QStringLiteral("(1) новое"), QStringLiteral("(2) уточнение"),
                QStringLiteral("(3) аннулирование")};
    if (control == u"cbPaytCondition")
        return {QString(), QStringLiteral("(1) заранее данный акцепт плательщика"),
                QStringLiteral("(2) требуется получение акцепта плательщика")};
    if (control == u"cbChargeSearchType")
        return {QString(), QStringLiteral("Поиск по идентификатору начисления (УИН)"),
                QStringLiteral("Поиск по идентификатору плательщика")};
    if (control == u"cbChargeKind")
        return {
            QStringLiteral("Неоплаченные начисления"),
            QStringLiteral("Начисления, не полностью сквитированные с платежами"),
            QStringLiteral("Начисления и статусы их квитирования"),
            QStringLiteral("Неоплаченные предварительные начисления"),
            QStringLiteral("Предварительные начисления, не полностью сквитированные с платежами"),
            QStringLiteral("Предварительные начисления и статусы их квитирования"),
            QStringLiteral("Неоплаченные предварительные начисления, сформированные ГИС ГМП"),
            QStringLiteral("Предварительные начисления, сформированные ГИС ГМП, не полностью сквитированные "
                           "с платежами"),
            QStringLiteral("Предварительные начисления, сформированные ГИС ГМП, и статусы их квитирования")};
    if (control == u"cbChangeStatus2")
        return {QStringLiteral("новое"), QStringLiteral("аннулирование")};
    if (control == u"cbOrderType")
        return {QString(),
                QStringLiteral("Оплата по идентификатору платежного документа"),
                QStringLiteral("Оплата по единому лицевому счету"),
                QStringLiteral("Оплата по номеру платежного документа, присвоенного исполнителем"),
                QStringLiteral("Оплата по номеру лицевого счета или иному идентификатору плательщика"),
                QStringLiteral("Оплата по идентификатору жилищно-коммунальной услуги"),
                QStringLiteral("Оплата по сведениям о потребителе")};
    if (control == u"cbChargeSearchType2")
        return {QString(), QStringLiteral("Поиск по идентификатору платежного документа"),
                QStringLiteral("Поиск по единому лицевому счету"),
                QStringLiteral("Поиск по глобальному уникальному идентификатору дома по ФИАС"),
                QStringLiteral("Поиск по идентификатору жилищно-коммунальной услуги")};
    if (control == u"cbYear" || control == u"cbYear2")
        return Years(today);
    if (control == u"cbMonth" || control == u"cbMonth2")
        return Months();
    return {};
}

QString MemoText(const QString& text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return plain.replace(u'\n', QStringLiteral("\r\n"));
}
