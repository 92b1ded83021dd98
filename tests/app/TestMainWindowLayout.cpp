// The window's tabs and controls: names, kinds, captions, hints and item lists, as the rest of the
// client and the operator rely on them, and a layout that stays usable at every size.
#include "TestWindow.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <vector>

namespace {

enum class Kind { Edit, Memo, EditableCombo, FixedCombo, Check, Button, Group, Scroll };

struct ControlRow {
    const char* name;
    Kind kind;
    const char* container; // the nearest group, scroll box or tab sheet around it
    const char* text;      // caption of its label; title of a group; text of a button or check box
    const char* labelHint; // tool tip of its label
    const char* hint;      // its own tool tip
    std::vector<const char*> items;
    const char* labelOwner; // a control that shares the label of another names that one
};

// clang-format off
const std::vector<ControlRow> Controls = {
    // tsGISGMPPayment
    {"sbPayment", Kind::Scroll, "tsGISGMPPayment", nullptr, nullptr, nullptr, {}, nullptr},
    {"buPaymentSend", Kind::Button, "tsGISGMPPayment", "Отправить", nullptr, nullptr, {}, nullptr},
    {"buPaymentSave", Kind::Button, "tsGISGMPPayment", "Сохранить", nullptr, nullptr, {}, nullptr},
    {"buPaymentOpen", Kind::Button, "tsGISGMPPayment", "Открыть", nullptr, nullptr, {}, nullptr},
    {"buPaymentClear", Kind::Button, "tsGISGMPPayment", "Очистить", nullptr, nullptr, {}, nullptr},
    {"gbPayer", Kind::Group, "sbPayment", "Cведения о плательщике", nullptr, nullptr, {}, nullptr},
    {"edPayerName", Kind::Edit, "gbPayer", "Наименование (только для ЮЛ)", "PayerName", nullptr, {}, nullptr},
    {"cbPayerIdentifier", Kind::EditableCombo, "gbPayer", "Идентификатор плательщика", "PayerIdentifier", nullptr, {"0"}, nullptr},
    {"buPayerIdentifier", Kind::Button, "gbPayer", "Выбрать...", nullptr, nullptr, {}, nullptr},
    {"gbPayee", Kind::Group, "sbPayment", "Сведения о получателе средств", nullptr, nullptr, {}, nullptr},
    {"mmPayeeName", Kind::Memo, "gbPayee", "Сокращенное наименование получателя средств и иная информация, содержащаяся в реквизите «Получатель» распоряжения", "PayeeName", nullptr, {}, nullptr},
    {"edPayeeINN", Kind::Edit, "gbPayee", "ИНН", "PayeeINN", nullptr, {}, nullptr},
    {"edPayeeKPP", Kind::Edit, "gbPayee", "КПП", "PayeeKPP", nullptr, {}, nullptr},
    {"gbPayeeBank", Kind::Group, "gbPayee", "Реквизиты счета получателя средств", nullptr, nullptr, {}, nullptr},
    {"edPayeeBankName", Kind::Edit, "gbPayeeBank", "Наименование структурного подразделения банка", "PayeeBankName", nullptr, {}, nullptr},
    {"edPayeeBankCorrAccount", Kind::Edit, "gbPayeeBank", "Корсчет", "PayeeBankCorrAccount", nullptr, {}, nullptr},
    {"edPayeeBankBIK", Kind::Edit, "gbPayeeBank", "БИК/SWIFT", "PayeeBankBIK/PayeeBankSWIFT", nullptr, {}, nullptr},
    {"edPayeeBankAcc", Kind::Edit, "gbPayeeBank", "Номер счета", "PayeeBankAcc", nullptr, {}, nullptr},
    {"gbBank", Kind::Group, "sbPayment", "Банк плательщика", nullptr, nullptr, {}, nullptr},
    {"edPaymentBankName", Kind::Edit, "gbBank", "Наименование структурного подразделения", "PaymentBankName", nullptr, {}, nullptr},
    {"edPaymentBankBIK", Kind::Edit, "gbBank", "БИК", "PaymentBankBIK and part SystemIdentifier", nullptr, {}, nullptr},
    {"edPaymentBankCorrAccount", Kind::Edit, "gbBank", "Корсчет", "PaymentBankCorrAccount", nullptr, {}, nullptr},
    {"gbPayment", Kind::Group, "sbPayment", "Реквизиты платежа", nullptr, nullptr, {}, nullptr},
    {"mmNarrative", Kind::Memo, "gbPayment", "Назначение", "Narrative", nullptr, {}, nullptr},
    {"edAmount", Kind::Edit, "gbPayment", "Сумма", "Amount", nullptr, {}, nullptr},
    {"edPaymentDayNumber", Kind::Edit, "gbPayment", "Дневной номер", "part SystemIdentifier", nullptr, {}, nullptr},
    {"cbPriority", Kind::EditableCombo, "gbPayment", "Очередность платежа", "Priority", nullptr, {"", "0", "1", "2", "3", "4", "5", "6"}, nullptr},
    {"cbTransKind", Kind::EditableCombo, "gbPayment", "Вид операции (шифр)", "TransKind", nullptr, {"", "01", "02", "06", "16", "ПД"}, nullptr},
    {"edPaymentDate", Kind::Edit, "gbPayment", "Дата и время платежа", "PaymentDate and part SystemIdentifier", "ДД.ММ.ГГГГ ЧЧ:ММ:СС", {}, nullptr},
    {"cbSupplierBillID", Kind::EditableCombo, "gbPayment", "УИН", "SupplierBillID (Уникальный идентификатор начисления)", nullptr, {"0"}, nullptr},
    {"cbKBK", Kind::EditableCombo, "gbPayment", "КБК", "KBK", nullptr, {"0"}, nullptr},
    {"cbOKTMO", Kind::EditableCombo, "gbPayment", "ОКТМО", "OKTMO", nullptr, {"0"}, nullptr},
    {"edSubSystem", Kind::Edit, "gbPayment", "Код подразделения или подсистемы", "part SystemIdentifier", nullptr, {}, nullptr},
    {"gbMessage", Kind::Group, "sbPayment", "Сообщение", nullptr, nullptr, {}, nullptr},
    {"edPackage", Kind::Edit, "gbMessage", "Идентификатор пакета", nullptr, nullptr, {}, nullptr},
    {"cbChangeStatus", Kind::FixedCombo, "gbMessage", "Статус данных платежа", "ChangeStatus", nullptr, {"(1) новое", "(2) уточнение", "(3) аннулирование"}, nullptr},
    {"edChangeStatusReason", Kind::Edit, "gbMessage", "Основание изменения платежа", "ChangeStatusReason", nullptr, {}, nullptr},
    {"buPackageStatus", Kind::Button, "gbMessage", "Получить состояние", nullptr, nullptr, {}, nullptr},
    {"gbPartial", Kind::Group, "sbPayment", "Информация о частичном платеже", nullptr, nullptr, {}, nullptr},
    {"edPartialPaytNo", Kind::Edit, "gbPartial", "Номер частичного платежа", "PartialPaytNo", nullptr, {}, nullptr},
    {"edPartialSumResidualPayt", Kind::Edit, "gbPartial", "Сумма остатка платежа", "PartialSumResidualPayt", nullptr, {}, nullptr},
    {"cbPartialTransKind", Kind::EditableCombo, "gbPartial", "Вид операции (шифр)", "PartialTransKind", nullptr, {"01", "02", "06", "16", "ПД"}, nullptr},
    {"gbPartialAccDoc", Kind::Group, "gbPartial", "Платежный документ по которому осуществляется частичное исполнение", nullptr, nullptr, {}, nullptr},
    {"edPartialAccDocNo", Kind::Edit, "gbPartialAccDoc", "Номер", "PartialAccDocNo", nullptr, {}, nullptr},
    {"edPartialAccDocDate", Kind::Edit, "gbPartialAccDoc", "Дата", "PartialAccDocDate", nullptr, {}, nullptr},
    {"gbAdditionalPayment", Kind::Group, "sbPayment", "Дополнительно", nullptr, nullptr, {}, nullptr},
    {"edReceiptDate", Kind::Edit, "gbAdditionalPayment", "Дата поступления распоряжения в банк плательщика", "ReceiptDate", nullptr, {}, nullptr},
    {"edAcptTerm", Kind::Edit, "gbAdditionalPayment", "Количество дней для получения акцепта плательщика", "AcptTerm", nullptr, {}, nullptr},
    {"cbPaytCondition", Kind::FixedCombo, "gbAdditionalPayment", "Условие оплаты", "PaytCondition", nullptr, {"", "(1) заранее данный акцепт плательщика", "(2) требуется получение акцепта плательщика"}, nullptr},
    {"edTransContent", Kind::Edit, "gbAdditionalPayment", "Содержание операции", "TransContent", nullptr, {}, nullptr},
    {"edMaturityDate", Kind::Edit, "gbAdditionalPayment", "Окончание срока акцепта", "MaturityDate", nullptr, {}, nullptr},
    {"edDocDispatchDate", Kind::Edit, "gbAdditionalPayment", "Дата отсылки плательщику документов ", "DocDispatchDate", nullptr, {}, nullptr},
    {"gbAccDoc", Kind::Group, "gbAdditionalPayment", "Реквизиты платежного документа", nullptr, nullptr, {}, nullptr},
    {"edAccDocNo", Kind::Edit, "gbAccDoc", "Номер", "AccDocNo", nullptr, {}, nullptr},
    {"edAccDocDate", Kind::Edit, "gbAccDoc", "Дата", "AccDocDate", nullptr, {}, nullptr},
    {"gbBudgetIndex", Kind::Group, "gbAdditionalPayment", "Реквизиты платежа 101, 106 - 109", nullptr, nullptr, {}, nullptr},
    {"cbBudgetIndexStatus", Kind::EditableCombo, "gbBudgetIndex", "101", "BudgetStatus (Статус плательщика )", nullptr, {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26"}, nullptr},
    {"cbBudgetIndexPurpose", Kind::EditableCombo, "gbBudgetIndex", "106", "BudgetPurpose (Показатель основания платежа)", nullptr, {"ТП", "ЗД", "БФ", "ТР", "РС", "ОТ", "РТ", "ПБ", "ПР", "АП", "АР", "ИН", "ТЛ", "ЗТ", "0"}, nullptr},
    {"cbBudgetIndexTaxPeriod", Kind::EditableCombo, "gbBudgetIndex", "107", "BudgetTaxPeriod (Налоговый период)", nullptr, {"МС.00.0000", "КВ.00.0000", "ПЛ.00.0000", "ГД.00.0000", "00.00.0000", "0"}, nullptr},
    {"cbBudgetIndexTaxDocNumber", Kind::EditableCombo, "gbBudgetIndex", "108", "BudgetTaxDocNumber (Показатель номера документа)", nullptr, {"ТР", "РС", "ОТ", "РТ", "ПБ", "ПР", "АП", "АР", "ИН", "ТЛ", "0"}, nullptr},
    {"cbBudgetIndexTaxDocDate", Kind::EditableCombo, "gbBudgetIndex", "109", "BudgetTaxDocDate (Показатель даты документа)", nullptr, {"00.00.0000", "0"}, nullptr},
    // tsGISGMPCharges
    {"sbCharge", Kind::Scroll, "tsGISGMPCharges", nullptr, nullptr, nullptr, {}, nullptr},
    {"buGetCharge", Kind::Button, "tsGISGMPCharges", "Получить", nullptr, nullptr, {}, nullptr},
    {"buChargeSave", Kind::Button, "tsGISGMPCharges", "Сохранить", nullptr, nullptr, {}, nullptr},
    {"buChargeOpen", Kind::Button, "tsGISGMPCharges", "Открыть", nullptr, nullptr, {}, nullptr},
    {"buChargeClear", Kind::Button, "tsGISGMPCharges", "Очистить", nullptr, nullptr, {}, nullptr},
    {"mmCharges", Kind::Memo, "sbCharge", nullptr, nullptr, nullptr, {}, nullptr},
    {"gbSearch", Kind::Group, "sbCharge", "Поиск начислений", nullptr, nullptr, {}, nullptr},
    {"cbChargeSearchType", Kind::FixedCombo, "gbSearch", nullptr, nullptr, nullptr, {"", "Поиск по идентификатору начисления (УИН)", "Поиск по идентификатору плательщика"}, nullptr},
    {"edSupplierBillID", Kind::Edit, "gbSearch", "Идентификатор начисления (УИН)", "SupplierBillID", nullptr, {}, nullptr},
    {"buAddIdentifier", Kind::Button, "gbSearch", "Добавить...", nullptr, nullptr, {}, nullptr},
    {"edPayerIdentifiers", Kind::Edit, "gbSearch", "Идентификатор плательщика", "PayerIdentifier", nullptr, {}, nullptr},
    {"cbChargeKind", Kind::FixedCombo, "gbSearch", "Тип запроса", "kind", nullptr, {"Неоплаченные начисления", "Начисления, не полностью сквитированные с платежами", "Начисления и статусы их квитирования", "Неоплаченные предварительные начисления", "Предварительные начисления, не полностью сквитированные с платежами", "Предварительные начисления и статусы их квитирования", "Неоплаченные предварительные начисления, сформированные ГИС ГМП", "Предварительные начисления, сформированные ГИС ГМП, не полностью сквитированные с платежами", "Предварительные начисления, сформированные ГИС ГМП, и статусы их квитирования"}, nullptr},
    // tsGISGKXPayment
    {"sbOrder", Kind::Scroll, "tsGISGKXPayment", nullptr, nullptr, nullptr, {}, nullptr},
    {"buOrderSave", Kind::Button, "tsGISGKXPayment", "Сохранить", nullptr, nullptr, {}, nullptr},
    {"buOrderOpen", Kind::Button, "tsGISGKXPayment", "Открыть", nullptr, nullptr, {}, nullptr},
    {"buOrderClear", Kind::Button, "tsGISGKXPayment", "Очистить", nullptr, nullptr, {}, nullptr},
    {"buOrderSend", Kind::Button, "tsGISGKXPayment", "Отправить", nullptr, nullptr, {}, nullptr},
    {"gbPaymentRecipient", Kind::Group, "sbOrder", "Сведения о получателе средств", nullptr, nullptr, {}, nullptr},
    {"mmPaymentRecipient", Kind::Memo, "gbPaymentRecipient", "Сокращенное наименование получателя средств и иная информация, содержащаяся в реквизите «Получатель» распоряжения", "PaymentRecipient", nullptr, {}, nullptr},
    {"edPaymentRecipientINN", Kind::Edit, "gbPaymentRecipient", "ИНН", "PaymentRecipientINN", nullptr, {}, nullptr},
    {"edPaymentRecipientKPP", Kind::Edit, "gbPaymentRecipient", "КПП", "PaymentRecipientKPP", nullptr, {}, nullptr},
    {"gbPaymentBank", Kind::Group, "gbPaymentRecipient", "Реквизиты счета получателя средств", nullptr, nullptr, {}, nullptr},
    {"edPaymentBankName2", Kind::Edit, "gbPaymentBank", "Наименование структурного подразделения банка", "PaymentBankName", nullptr, {}, nullptr},
    {"edPaymentCorrespondentBankAccount", Kind::Edit, "gbPaymentBank", "Корсчет", "PaymentCorrespondentBankAccount", nullptr, {}, nullptr},
    {"edPaymentBankBIK2", Kind::Edit, "gbPaymentBank", "БИК", "PaymentBankBIK", nullptr, {}, nullptr},
    {"edPaymentOperatingAccountNumber", Kind::Edit, "gbPaymentBank", "Номер счета", "PaymentOperatingAccountNumber", nullptr, {}, nullptr},
    {"gbMessage2", Kind::Group, "sbOrder", "Сообщение", nullptr, nullptr, {}, nullptr},
    {"edPackage2", Kind::Edit, "gbMessage2", "Идентификатор сообщения", nullptr, nullptr, {}, nullptr},
    {"cbChangeStatus2", Kind::FixedCombo, "gbMessage2", "Статус данных платежа", nullptr, nullptr, {"новое", "аннулирование"}, nullptr},
    {"edChangeStatusReason2", Kind::Edit, "gbMessage2", "Основание аннулирования распоряжения", "CancellationComment", nullptr, {}, nullptr},
    {"buGetState", Kind::Button, "gbMessage2", "Получить состояние", nullptr, nullptr, {}, nullptr},
    {"gbExecutor", Kind::Group, "sbOrder", "Сведения об исполнителе", nullptr, nullptr, {}, nullptr},
    {"edRecipientINN", Kind::Edit, "gbExecutor", "ИНН", "RecipientINN", nullptr, {}, nullptr},
    {"gbRecipientIndividual", Kind::Group, "gbExecutor", "Индивидуальный предприниматель", nullptr, nullptr, {}, nullptr},
    {"edRecipientSurname", Kind::Edit, "gbRecipientIndividual", "Фамилия", "RecipientSurname", nullptr, {}, nullptr},
    {"edRecipientFirstName", Kind::Edit, "gbRecipientIndividual", "Имя", "RecipientFirstName", nullptr, {}, nullptr},
    {"edRecipientPatronymic", Kind::Edit, "gbRecipientIndividual", "Отчество", "RecipientPatronymic", nullptr, {}, nullptr},
    {"gbRecipientLegal", Kind::Group, "gbExecutor", "Юридическое лицо", nullptr, nullptr, {}, nullptr},
    {"edRecipientKPP", Kind::Edit, "gbRecipientLegal", "КПП", "RecipientKPP", nullptr, {}, nullptr},
    {"edRecipientName", Kind::Edit, "gbRecipientLegal", "Наименование", "RecipientName", nullptr, {}, nullptr},
    {"gbConsumer", Kind::Group, "sbOrder", "Сведения о потребителе", nullptr, nullptr, {}, nullptr},
    {"edFIASHouseGuid2", Kind::Edit, "gbConsumer", "Глобальный уникальный идентификатор дома по ФИАС", "FIASHouseGuid", nullptr, {}, nullptr},
    {"edHouseApartment", Kind::Edit, "gbConsumer", "Номер жилого помещения (квартира)", "Apartment", nullptr, {}, nullptr},
    {"edHousePlacement", Kind::Edit, "gbConsumer", "Номер комнаты", "Placement", nullptr, {}, nullptr},
    {"gbConsumerIndividual", Kind::Group, "gbConsumer", "Физическое лицо", nullptr, nullptr, {}, nullptr},
    {"edConsumerSurname", Kind::Edit, "gbConsumerIndividual", "Фамилия", "ConsumerSurname", nullptr, {}, nullptr},
    {"edConsumerFirstName", Kind::Edit, "gbConsumerIndividual", "Имя", "ConsumerFirstName", nullptr, {}, nullptr},
    {"edConsumerPatronymic", Kind::Edit, "gbConsumerIndividual", "Отчество", "ConsumerPatronymic", nullptr, {}, nullptr},
    {"gbConsumerLegal", Kind::Group, "gbConsumer", "Юридическое лицо", nullptr, nullptr, {}, nullptr},
    {"edConsumerINN", Kind::Edit, "gbConsumerLegal", "ИНН", "ConsumerINN", nullptr, {}, nullptr},
    {"gbSupplier", Kind::Group, "sbOrder", "Cведения о плательщике", nullptr, nullptr, {}, nullptr},
    {"edSupplierName", Kind::Edit, "gbSupplier", "Наименование плательщика", "SupplierName", nullptr, {}, nullptr},
    {"cbSupplierID", Kind::EditableCombo, "gbSupplier", "Идентификатор плательщика", "SupplierID", nullptr, {"0"}, nullptr},
    {"buSupplierID", Kind::Button, "gbSupplier", "Выбрать...", nullptr, nullptr, {}, nullptr},
    {"gbOrder", Kind::Group, "sbOrder", "Общие сведения о распоряжении", nullptr, nullptr, {}, nullptr},
    {"mmPaymentPurpose", Kind::Memo, "gbOrder", "Назначение платежа", "PaymentPurpose", nullptr, {}, nullptr},
    {"edAmount2", Kind::Edit, "gbOrder", "Сумма", "Amount", nullptr, {}, nullptr},
    {"edOrderNum", Kind::Edit, "gbOrder", "Номер", "OrderNum and part OrderID", nullptr, {}, nullptr},
    {"edOrderDate", Kind::Edit, "gbOrder", "Дата", "OrderDate and part OrderID", "ДД.ММ.ГГГГ", {}, nullptr},
    {"mmComment", Kind::Memo, "gbOrder", "Произвольный комментарий", "Comment", nullptr, {}, nullptr},
    {"edPaymentDocumentNumber2", Kind::Edit, "gbOrder", "Номер платежного документа, присвоенный исполнителем ", "PaymentDocumentNumber", nullptr, {}, nullptr},
    {"edServiceID2", Kind::Edit, "gbOrder", "Идентификатор жилищно- коммунальной услуги", "ServiceID", nullptr, {}, nullptr},
    {"cbYear2", Kind::FixedCombo, "gbOrder", "Месяц и год периода для оплаты", "Month, Year", nullptr, {"", "2016", "2017"}, nullptr},
    {"cbMonth2", Kind::FixedCombo, "gbOrder", "Месяц и год периода для оплаты", "Month, Year", nullptr, {"", "Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль", "Август", "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"}, "cbYear2"},
    {"edUnifiedAccountNumber2", Kind::Edit, "gbOrder", "Единый лицевой счет", "UnifiedAccountNumber", nullptr, {}, nullptr},
    {"edAccountNumber2", Kind::Edit, "gbOrder", "Номер лицевого счета или иной идентификатор плательщика", "AccountNumber", nullptr, {}, nullptr},
    {"edSubSystem2", Kind::Edit, "gbOrder", "Код подразделения или подсистемы", "part OrderID", nullptr, {}, nullptr},
    {"cbOrderType", Kind::FixedCombo, "gbOrder", nullptr, nullptr, nullptr, {"", "Оплата по идентификатору платежного документа", "Оплата по единому лицевому счету", "Оплата по номеру платежного документа, присвоенного исполнителем", "Оплата по номеру лицевого счета или иному идентификатору плательщика", "Оплата по идентификатору жилищно-коммунальной услуги", "Оплата по сведениям о потребителе"}, nullptr},
    {"cbPaymentDocumentID", Kind::EditableCombo, "gbOrder", "Идентификатор платежного документа", "PaymentDocumentID", nullptr, {"0000000000-00-0000"}, nullptr},
    // tsGISGKXCharges
    {"sbDocumentDetails", Kind::Scroll, "tsGISGKXCharges", nullptr, nullptr, nullptr, {}, nullptr},
    {"buDocumentDetailsSave", Kind::Button, "tsGISGKXCharges", "Сохранить", nullptr, nullptr, {}, nullptr},
    {"buDocumentDetailsOpen", Kind::Button, "tsGISGKXCharges", "Открыть", nullptr, nullptr, {}, nullptr},
    {"buDocumentDetailsClear", Kind::Button, "tsGISGKXCharges", "Очистить", nullptr, nullptr, {}, nullptr},
    {"buGetDocumentDetails", Kind::Button, "tsGISGKXCharges", "Получить", nullptr, nullptr, {}, nullptr},
    {"mmDocumentDetails", Kind::Memo, "sbDocumentDetails", nullptr, nullptr, nullptr, {}, nullptr},
    {"gbSearch2", Kind::Group, "sbDocumentDetails", "Поиск начислений", nullptr, nullptr, {}, nullptr},
    {"cbChargeSearchType2", Kind::FixedCombo, "gbSearch2", nullptr, nullptr, nullptr, {"", "Поиск по идентификатору платежного документа", "Поиск по единому лицевому счету", "Поиск по глобальному уникальному идентификатору дома по ФИАС", "Поиск по идентификатору жилищно-коммунальной услуги"}, nullptr},
    {"edPaymentDocumentID", Kind::Edit, "gbSearch2", "Идентификатор платежного документа", "PaymentDocumentID", nullptr, {}, nullptr},
    {"edUnifiedAccountNumber", Kind::Edit, "gbSearch2", "Единый лицевой счет", "UnifiedAccountNumber", nullptr, {}, nullptr},
    {"edFIASHouseGuid", Kind::Edit, "gbSearch2", "Глобальный уникальный идентификатор дома по ФИАС", "FIASHouseGuid", nullptr, {}, nullptr},
    {"edPaymentDocumentNumber", Kind::Edit, "gbSearch2", "Номер платежного документа, присвоенный исполнителем ", "PaymentDocumentNumber", nullptr, {}, nullptr},
    {"edAccountNumber", Kind::Edit, "gbSearch2", "Номер лицевого счета или иной идентификатор плательщика", "AccountNumber", nullptr, {}, nullptr},
    {"edServiceID", Kind::Edit, "gbSearch2", "Идентификатор жилищно- коммунальной услуги", "ServiceID", nullptr, {}, nullptr},
    {"cbYear", Kind::FixedCombo, "gbSearch2", "Месяц и год периода для начисления", "Month, Year", nullptr, {"", "2016", "2017"}, nullptr},
    {"cbMonth", Kind::FixedCombo, "gbSearch2", "Месяц и год периода для начисления", "Month, Year", nullptr, {"", "Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль", "Август", "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"}, "cbYear"},
    {"gbAmountRequired", Kind::Group, "sbDocumentDetails", "", nullptr, nullptr, {}, nullptr},
    {"gbIndividual", Kind::Group, "gbAmountRequired", "Физическое лицо (в том числе ИП)", nullptr, nullptr, {}, nullptr},
    {"edIndividualSurname", Kind::Edit, "gbIndividual", "Фамилия", "IndividualSurname", nullptr, {}, nullptr},
    {"edIndividualFirstName", Kind::Edit, "gbIndividual", "Имя", "IndividualFirstName", nullptr, {}, nullptr},
    {"edIndividualPatronymic", Kind::Edit, "gbIndividual", "Отчество", "IndividualPatronymic", nullptr, {}, nullptr},
    {"gbLegal", Kind::Group, "gbAmountRequired", "Юридическое лицо", nullptr, nullptr, {}, nullptr},
    {"edLegalINN", Kind::Edit, "gbLegal", "ИНН", "LegalINN", nullptr, {}, nullptr},
    {"edLegalKPP", Kind::Edit, "gbLegal", "КПП", "LegalKPP", nullptr, {}, nullptr},
    // tsSettings
    {"sbSettings", Kind::Scroll, "tsSettings", nullptr, nullptr, nullptr, {}, nullptr},
    {"cbServiceChargesGISGMP", Kind::EditableCombo, "sbSettings", "ГИС ГМП Получение информации о начислениях", nullptr, nullptr, {"http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0003663"}, nullptr},
    {"cbServicePaymentGISGMP", Kind::EditableCombo, "sbSettings", "ГИС ГМП Отправка информации о платежах", nullptr, nullptr, {"http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0003663"}, nullptr},
    {"cbServiceChargesGISGKX", Kind::EditableCombo, "sbSettings", "ГИС ЖКХ Получение информации о начислениях", nullptr, nullptr, {"http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0004153"}, nullptr},
    {"cbServicePaymentGISGKX", Kind::EditableCombo, "sbSettings", "ГИС ЖКХ Отправка информации о платежах", nullptr, nullptr, {"http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0004154"}, nullptr},
    {"edName", Kind::Edit, "sbSettings", "Имя", "SenderName", nullptr, {}, nullptr},
    {"edSMEVCode", Kind::Edit, "sbSettings", "Код СМЭВ", "SenderCode", nullptr, {}, nullptr},
    {"edGISGMPCode", Kind::Edit, "sbSettings", "Код ГИС ГМП", "SenderIdentifier", nullptr, {}, nullptr},
    {"edGISGKXCode", Kind::Edit, "sbSettings", "Код ГИС ЖКХ", "payment-organization-guid", nullptr, {}, nullptr},
    {"cbTimeStamp", Kind::EditableCombo, "sbSettings", "Сервер для получения метки времени", nullptr, nullptr, {"http://www.cryptopro.ru/tsp/tsp.srf"}, nullptr},
    {"ckTest", Kind::Check, "sbSettings", "Тестовый режим работы", nullptr, nullptr, {}, nullptr},
    {"ckTimeStamp", Kind::Check, "sbSettings", "Использовать метку времени для подписи платежа ГИС ГМП", nullptr, nullptr, {}, nullptr},
    {"gbProvider", Kind::Group, "sbSettings", nullptr, nullptr, nullptr, {}, nullptr},
    {"cbContainer", Kind::FixedCombo, "gbProvider", "Контейнер закрытого ключа", nullptr, nullptr, {}, nullptr},
    {"buSertShow", Kind::Button, "gbProvider", "Сертификат...", nullptr, nullptr, {}, nullptr},
    {"buSettingsSave", Kind::Button, "tsSettings", "Сохранить", nullptr, nullptr, {}, nullptr},
    // tsInfo
    {"mmInfo", Kind::Memo, "tsInfo", nullptr, nullptr, nullptr, {}, nullptr},
};

const char* const Tabs[][2] = {
    {"tsGISGMPPayment", "Платеж ГИС ГМП"},   {"tsGISGMPCharges", "Начисления ГИС ГМП"},
    {"tsGISGKXPayment", "Платеж ГИС ЖКХ"},   {"tsGISGKXCharges", "Начисления ГИС ЖКХ"},
    {"tsSettings", "Настройки"},             {"tsInfo", "Информация"},
};
// clang-format on

QString u8(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

const char* className(Kind kind)
{
    switch (kind) {
    case Kind::Edit:
        return "QLineEdit";
    case Kind::Memo:
        return "QPlainTextEdit";
    case Kind::EditableCombo:
    case Kind::FixedCombo:
        return "QComboBox";
    case Kind::Check:
        return "QCheckBox";
    case Kind::Button:
        return "QPushButton";
    case Kind::Group:
        return "QGroupBox";
    case Kind::Scroll:
        return "QScrollArea";
    }
    return "";
}

// The nearest group box, scroll box or tab sheet that holds the widget.
QWidget* containerOf(QWidget* widget, const QList<QWidget*>& sheets)
{
    for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget()) {
        if (qobject_cast<QGroupBox*>(p) || qobject_cast<QScrollArea*>(p) || sheets.contains(p))
            return p;
    }
    return nullptr;
}

QList<QLabel*> labelsFor(QWidget* window, QWidget* control)
{
    QList<QLabel*> result;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->buddy() == control)
            result << label;
    return result;
}

QList<QWidget*> tabSheets(QTabWidget* tabs)
{
    QList<QWidget*> sheets;
    for (int i = 0; i < tabs->count(); ++i)
        sheets << tabs->widget(i);
    return sheets;
}

// Types text the way a keyboard does, letters outside ASCII included.
void typeText(QWidget* widget, const QString& text)
{
    QWidget* target = widget->focusProxy() ? widget->focusProxy() : widget;
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit())
        target = combo->lineEdit();
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(target, &release);
    }
}

QStringList itemsOf(QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

TEST(MainWindowLayout, SixTabsInOrderWithTheirCaptionsThenTheJournal)
{
    TestWindow window;
    auto* tabs = window.control<QTabWidget>("pcMain");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 7);
    EXPECT_EQ(tabs->widget(6)->objectName(), QStringLiteral("tsJournal"));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), u8(Tabs[i][0])) << i;
        EXPECT_EQ(tabs->tabText(i), u8(Tabs[i][1])) << i;
    }
}

TEST(MainWindowLayout, EveryControlHasItsKindPlaceLabelHintsAndItems)
{
    TestWindow window;
    const QList<QWidget*> sheets = tabSheets(window.control<QTabWidget>("pcMain"));
    QStringList seen;
    for (const ControlRow& row : Controls) {
        SCOPED_TRACE(row.name);
        const QString name = u8(row.name);
        const QList<QWidget*> named = window->findChildren<QWidget*>(name);
        ASSERT_EQ(named.size(), 1) << "controls named so";
        QWidget* control = named.first();
        EXPECT_STREQ(control->metaObject()->className(), className(row.kind));
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            EXPECT_EQ(combo->isEditable(), row.kind == Kind::EditableCombo);
        }

        QWidget* container = containerOf(control, sheets);
        ASSERT_NE(container, nullptr);
        EXPECT_EQ(container->objectName(), u8(row.container));
        EXPECT_EQ(control->toolTip(), u8(row.hint));

        switch (row.kind) {
        case Kind::Group:
            if (row.text) {
                EXPECT_EQ(qobject_cast<QGroupBox*>(control)->title(), u8(row.text));
            }
            break;
        case Kind::Button:
            EXPECT_EQ(qobject_cast<QPushButton*>(control)->text(), u8(row.text));
            break;
        case Kind::Check:
            EXPECT_EQ(qobject_cast<QCheckBox*>(control)->text(), u8(row.text));
            break;
        case Kind::Scroll:
            EXPECT_TRUE(qobject_cast<QScrollArea*>(control)->widgetResizable());
            break;
        default: {
            QWidget* owner = row.labelOwner ? window->findChild<QWidget*>(u8(row.labelOwner)) : control;
            ASSERT_NE(owner, nullptr);
            const QList<QLabel*> labels = labelsFor(window.get(), owner);
            if (!row.text) {
                EXPECT_TRUE(labels.isEmpty()) << "a control without a label has one";
                break;
            }
            ASSERT_EQ(labels.size(), 1) << "labels for the control";
            EXPECT_EQ(labels.first()->text(), u8(row.text));
            EXPECT_EQ(labels.first()->toolTip(), u8(row.labelHint));
            EXPECT_EQ(labels.first()->textFormat(), Qt::PlainText);
            EXPECT_EQ(containerOf(labels.first(), sheets), container) << "label beside its field";
            if (row.labelOwner) {
                EXPECT_TRUE(labelsFor(window.get(), control).isEmpty());
            }
        }
        }
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            QStringList expected;
            for (const char* item : row.items)
                expected << u8(item);
            // The year lists run on to the next calendar year (see TestDependentFields).
            const bool years = name.startsWith(QLatin1String("cbYear"));
            EXPECT_EQ(years ? itemsOf(combo).mid(0, expected.size()) : itemsOf(combo), expected);
        }
        seen << name;
    }
    EXPECT_EQ(seen.removeDuplicates(), 0);

    // The group without a caption is explained by a label of its own.
    auto* amount = window.control<QGroupBox>("gbAmountRequired");
    ASSERT_NE(amount, nullptr);
    auto* amountLabel = amount->findChild<QLabel*>("laAmountRequired");
    ASSERT_NE(amountLabel, nullptr);
    EXPECT_EQ(amountLabel->text(), u8("Сведения о потребителе, необходимые для получения информации о сумме "
                                      "начислений/задолженности"));

    // Every label that is not the group's own caption, the guidance of a first start or the
    // journal's count of unknown exchanges belongs to exactly one field, and has a name.
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label == amountLabel || label->parentWidget() == window->statusBar() ||
            label->objectName() == u"laNoContainer" || label->objectName() == u"laUnknown")
            continue;
        EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
        EXPECT_TRUE(label->objectName().startsWith(QStringLiteral("la")))
            << label->objectName().toStdString();
    }
}

TEST(MainWindowLayout, FrameCaptionSizeStatusBarAndStartingTab)
{
    // A window-state file that cannot be used leaves the window as the form made it.
    TestWindow window([](const QString& folder) {
        QFile state(folder + QStringLiteral("/zelvan.pro"));
        ASSERT_TRUE(state.open(QIODevice::WriteOnly));
        state.write("Left=abc\r\n");
    });
    EXPECT_EQ(window->windowTitle(), u8("СМЭВ"));
    EXPECT_EQ(window->minimumSize(), QSize(540, 300));
    EXPECT_EQ(window->size(), QSize(571, 463));
    EXPECT_EQ(window.control<QTabWidget>("pcMain")->currentWidget()->objectName(),
              QStringLiteral("tsGISGKXPayment"));
    EXPECT_EQ(window->statusBar()->objectName(), QStringLiteral("sbMain"));

    // The provider caption names what really signs here, not a provider that is not installed.
    const QString provider = window.control<QGroupBox>("gbProvider")->title();
    EXPECT_TRUE(provider.contains(QStringLiteral("OpenSSL"))) << provider.toStdString();
    EXPECT_FALSE(provider.contains(QStringLiteral("Crypto-Pro")));

    auto* info = window.control<QPlainTextEdit>("mmInfo");
    EXPECT_TRUE(info->isReadOnly());
    EXPECT_EQ(info->toPlainText().split(u'\n').first(), u8("Версия: 1.2"));
    EXPECT_EQ(window.control<QPlainTextEdit>("mmCharges")->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_FALSE(window.control<QPlainTextEdit>("mmCharges")->isReadOnly());

    // Three panels of 100, 50 and at least 50 pixels, side by side.
    window->show();
    window->resize(800, 463);
    QCoreApplication::processEvents();
    QList<QLabel*> panels = window->statusBar()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 3);
    std::sort(panels.begin(), panels.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });
    EXPECT_EQ(panels[0]->width(), 100);
    EXPECT_EQ(panels[1]->width(), 50);
    EXPECT_GE(panels[2]->width(), 50);
    EXPECT_GT(panels[2]->width(), 400) << "the last panel takes the rest of the bar";
}

TEST(MainWindowLayout, ChargeKindDropDownShowsItsLongItems)
{
    TestWindow window;
    window->show();
    window.control<QTabWidget>("pcMain")->setCurrentIndex(1);
    auto* kind = window.control<QComboBox>("cbChargeKind");
    kind->showPopup();
    QCoreApplication::processEvents();
    EXPECT_TRUE(kind->view()->isVisible());
    EXPECT_GE(kind->view()->window()->width(), 550);
    EXPECT_GT(kind->view()->window()->width(), kind->width());
    kind->hidePopup();
}

TEST(MainWindowLayout, EditableCombosKeepWhatTheOperatorTyped)
{
    TestWindow window;
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window.control<QTabWidget>("pcMain")->setCurrentIndex(0);

    // "0" is an item of its own; the longer item that begins with it must not replace it.
    auto* docDate = window.control<QComboBox>("cbBudgetIndexTaxDocDate");
    docDate->setFocus();
    typeText(docDate, QStringLiteral("0"));
    QTest::keyClick(docDate, Qt::Key_Return);
    EXPECT_EQ(docDate->currentText(), QStringLiteral("0"));

    // A text that differs from an item only in letter case stays as typed.
    auto* transKind = window.control<QComboBox>("cbTransKind");
    transKind->setFocus();
    typeText(transKind, u8("пд"));
    QTest::keyClick(transKind, Qt::Key_Return);
    window.control<QLineEdit>("edAmount")->setFocus();
    EXPECT_EQ(transKind->currentText(), u8("пд"));

    // Typing a new value and pressing Enter never adds it to the list.
    auto* kbk = window.control<QComboBox>("cbKBK");
    kbk->setFocus();
    typeText(kbk, QStringLiteral("18210102010011000110"));
    QTest::keyClick(kbk, Qt::Key_Return);
    EXPECT_EQ(kbk->currentText(), QStringLiteral("18210102010011000110"));
    EXPECT_EQ(itemsOf(kbk), QStringList{QStringLiteral("0")});
    EXPECT_EQ(itemsOf(transKind).size(), 6);
    EXPECT_EQ(itemsOf(docDate).size(), 2);
}

TEST(MainWindowLayout, EveryTabStaysUsableFromSmallestSizeToFullScreen)
{
    TestWindow window;
    auto* tabs = window.control<QTabWidget>("pcMain");
    // A first start opens maximised; the sizes below are the operator's own.
    window->setWindowState(Qt::WindowNoState);
    window->show();
    for (const QSize size : {QSize(540, 300), QSize(571, 463), QSize(1280, 800), QSize(1920, 1080)}) {
        window->resize(size);
        for (int t = 0; t < tabs->count(); ++t) {
            tabs->setCurrentIndex(t);
            QCoreApplication::processEvents();
            QWidget* sheet = tabs->widget(t);
            SCOPED_TRACE(QStringLiteral("%1 at %2x%3")
                             .arg(sheet->objectName())
                             .arg(size.width())
                             .arg(size.height())
                             .toStdString());
            EXPECT_EQ(window->size(), size);

            // The action buttons sit below the scroll box, whole and apart.
            auto* box = sheet->findChild<QScrollArea*>();
            const QRect boxRect = box ? QRect(box->mapTo(sheet, QPoint()), box->size()) : QRect();
            QList<QRect> buttons;
            for (QPushButton* button : sheet->findChildren<QPushButton*>()) {
                if (box && box->isAncestorOf(button))
                    continue;
                const QRect r(button->mapTo(sheet, QPoint()), button->size());
                EXPECT_TRUE(button->isVisible()) << button->objectName().toStdString();
                EXPECT_TRUE(sheet->rect().contains(r)) << button->objectName().toStdString();
                EXPECT_GE(r.top(), boxRect.bottom()) << button->objectName().toStdString();
                EXPECT_GE(r.width(), button->sizeHint().width())
                    << "caption cut: " << button->objectName().toStdString();
                for (const QRect& other : buttons)
                    EXPECT_FALSE(r.intersects(other)) << button->objectName().toStdString();
                buttons << r;
            }
            if (!box)
                continue;

            // Inside the scroll box: nothing overlaps, fields keep a usable width and labels show
            // all their lines. From the starting size up nothing needs sideways scrolling; below
            // it a group caption that cannot wrap may need a little.
            QWidget* contents = box->widget();
            if (size.width() >= 571) {
                EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
            }
            QList<QPair<QWidget*, QRect>> placed;
            for (QWidget* w : contents->findChildren<QWidget*>()) {
                const bool leaf = qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) ||
                                  qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                                  qobject_cast<QAbstractButton*>(w);
                if (!leaf || !w->isVisible() || w->objectName().isEmpty())
                    continue;
                const QRect r(w->mapTo(contents, QPoint()), w->size());
                if (auto* label = qobject_cast<QLabel*>(w)) {
                    EXPECT_GE(r.height(), label->heightForWidth(r.width()))
                        << "label cut: " << label->text().toStdString();
                } else if (qobject_cast<QPushButton*>(w)) {
                    EXPECT_GE(r.width(), w->sizeHint().width())
                        << "caption cut: " << w->objectName().toStdString();
                } else {
                    EXPECT_GE(r.width(), 60) << w->objectName().toStdString();
                    EXPECT_GE(r.height(), w->minimumSizeHint().height()) << w->objectName().toStdString();
                }
                for (const auto& [other, otherRect] : placed)
                    EXPECT_FALSE(r.intersects(otherRect))
                        << w->objectName().toStdString() << " overlaps " << other->objectName().toStdString();
                placed.append({w, r});
            }
        }
    }
}
