#include "gisgmp/SoapPayment.h"

#include "foundation/CryptHelper.h"
#include "foundation/TextHelper.h"
#include "foundation/XmlHelper.h"
#include "smev/SmevEnvelope.h"
#include "smev/SoapConstants.h"
#include "smev/SoapValues.h"
#include "smev/SoapWriter.h"
#include "tsp/TimeStamp.h"

// Every value is read at the point where its element is written. The builders append statement by
// statement because the order of the reads is part of the contract with the value source (and
// the operands of one "+" are not evaluated in a fixed order).

namespace {

QString XsdNamespace(QStringView leaf)
{
    return GISGMP_XSD_NS + leaf.toString();
}

XmlTag Pi(QStringView name)
{
    return XmlTag(u"pi", name);
}

// The payment element without its signature: the text that is digested.
QString PaymentContent(const ValueReader& value)
{
    const QString commonNs = XsdNamespace(u"Common");
    const QString budgetNs = XsdNamespace(u"BudgetIndex");
    const QString orgNs = XsdNamespace(u"Organization");
    auto bdi = [&budgetNs](QStringView name) { return XmlTag(u"bdi", name).xmlns(u"bdi", budgetNs); };
    auto orgDeclared = [&orgNs](QStringView name) { return XmlTag(u"org", name).xmlns(u"org", orgNs); };
    auto org = [](QStringView name) { return XmlTag(u"org", name); };

    QString t;
    t += Pi(u"SupplierBillID").always(value("SupplierBillID"));
    t += Pi(u"Narrative").always(value("Narrative"));
    t += Pi(u"Amount").always(value("Amount"));
    t += Pi(u"PaymentDate").always(value("PaymentDate"));
    t += Pi(u"ReceiptDate").ifNonEmpty(value("ReceiptDate"));

    QString budget;
    budget += bdi(u"Status").always(value("BudgetStatus"));
    budget += bdi(u"Purpose").always(value("BudgetPurpose"));
    budget += bdi(u"TaxPeriod").always(value("BudgetTaxPeriod"));
    budget += bdi(u"TaxDocNumber").always(value("BudgetTaxDocNumber"));
    budget += bdi(u"TaxDocDate").always(value("BudgetTaxDocDate"));
    budget += bdi(u"PaymentType").always(value("BudgetPaymentType"));
    t += Pi(u"BudgetIndex").always(budget);

    QString bank;
    bank += orgDeclared(u"Name").always(value("PaymentBankName"));
    bank += orgDeclared(u"BIK").always(value("PaymentBankBIK"));
    bank += orgDeclared(u"CorrespondentBankAccount").ifNonEmpty(value("PaymentBankCorrAccount"));
    QString identification = Pi(u"Bank").always(bank);
    identification += Pi(u"SystemIdentifier").always(value("PaymentSystemIdentifier"));
    t += Pi(u"PaymentIdentificationData").always(identification);

    QString accDoc;
    accDoc += Pi(u"AccDocNo").ifNonEmpty(value("AccDocNo"));
    accDoc += Pi(u"AccDocDate").ifNonEmpty(value("AccDocDate"));
    t += Pi(u"AccDoc").ifNonEmpty(accDoc);

    QString payer;
    payer += XmlTag(u"com:PayerIdentifier").xmlns(u"com", commonNs).always(value("PayerIdentifier"));
    payer += Pi(u"PayerName").always(value("PayerName"));
    t += Pi(u"Payer").always(payer);

    QString payee;
    payee += Pi(u"PayeeName").always(value("PayeeName"));
    payee += Pi(u"payeeINN").always(value("PayeeINN"));
    payee += Pi(u"payeeKPP").always(value("PayeeKPP"));
    QString payeeAccount = orgDeclared(u"AccountNumber").always(value("PayeeBankAcc"));
    QString payeeBank;
    payeeBank += org(u"Name").always(value("PayeeBankName"));
    payeeBank += org(u"BIK").ifNonEmpty(value("PayeeBankBIK"));
    payeeBank += org(u"SWIFT").ifNonEmpty(value("PayeeBankSWIFT"));
    payeeBank += org(u"CorrespondentBankAccount").ifNonEmpty(value("PayeeBankCorrAccount"));
    payeeAccount += orgDeclared(u"Bank").always(payeeBank);
    payee += Pi(u"PayeeBankAcc").always(payeeAccount);
    t += Pi(u"Payee").always(payee);

    // The status code is rendered as element text; in an attribute it takes the attribute form.
    const XmlTag changeStatus =
        Pi(u"ChangeStatus").attr(u"meaning", XmlTextToAttributeText(value("ChangeStatus")));
    t += changeStatus.always(Pi(u"Reason").ifNonEmpty(value("ChangeStatusReason")));

    t += Pi(u"KBK").always(value("KBK"));
    t += XmlTag(u"cm:TransKind").xmlns(u"cm", commonNs).ifNonEmpty(value("TransKind"));
    t += Pi(u"TransContent").ifNonEmpty(value("TransContent"));
    t += Pi(u"PaytCondition").ifNonEmpty(value("PaytCondition"));
    t += Pi(u"AcptTerm").ifNonEmpty(value("AcptTerm"));
    t += Pi(u"MaturityDate").ifNonEmpty(value("MaturityDate"));
    t += Pi(u"DocDispatchDate").ifNonEmpty(value("DocDispatchDate"));

    QString partial;
    partial += Pi(u"PaytNo").ifNonEmpty(value("PartialPaytNo"));
    partial += XmlTag(u"cm:TransKind").xmlns(u"cm", commonNs).ifNonEmpty(value("PartialTransKind"));
    partial += Pi(u"SumResidualPayt").ifNonEmpty(value("PartialSumResidualPayt"));
    QString partialAccDoc;
    partialAccDoc += Pi(u"AccDocNo").ifNonEmpty(value("PartialAccDocNo"));
    partialAccDoc += Pi(u"AccDocDate").ifNonEmpty(value("PartialAccDocDate"));
    partial += Pi(u"AccDoc").ifNonEmpty(partialAccDoc);
    t += Pi(u"PartialPayt").ifNonEmpty(partial);

    t += Pi(u"Priority").ifNonEmpty(value("Priority"));
    t += Pi(u"OKTMO").always(value("OKTMO"));
    return t;
}

XmlTag Ds(QStringView name)
{
    return XmlTag(u"ds", name);
}

XmlTag Xds(QStringView name)
{
    return XmlTag(u"xds", name);
}

// The common frame of the three requests around the request body of one kind.
QString TransferMessage(const QString& header, const QString& messageId, const QString& senderIdentifier,
                        const QString& timestamp, const QString& requestBody)
{
    // The identifier is the participant's code as typed, so it is written in the form that
    // canonicalisation gives an attribute value; the date is a rendered element text.
    const QString requestMessage = XmlTag(u"gisgmp:RequestMessage")
                                       .xmlns(u"gisgmp", XsdNamespace(u"Message"))
                                       .attr(u"Id", messageId)
                                       .attr(u"senderIdentifier", XmlAttributeText(senderIdentifier))
                                       .attr(u"timestamp", XmlTextToAttributeText(timestamp))
                                       .always(requestBody);
    const QString messageData = XmlTag(u"rev:MessageData")
                                    .xmlns(u"rev", SMEV_REV_NS)
                                    .always(XmlTag(u"rev:AppData").always(requestMessage));
    return XmlTag(u"smev:GISGMPTransferMsg").xmlns(u"smev", GISGMP_SERVICE_NS).always(header + messageData);
}

QString NewMessageId(const ISOAPValues& values)
{
    return QStringLiteral("MessID-") + MessageIdentifiers(values).NextIdSuffix();
}

} // namespace

QString SoapCreatePaymentContent(ISOAPValues& values)
{
    return PaymentContent(ValueReader(values));
}

QString SoapCreatePaymentBlock(ContainerKey& key, ISOAPValues& values)
{
    const ValueReader value(values);
    // Every read of the entity Id gives a new value, so it is read once for both places.
    const QString paymentId = XmlTextToAttributeText(value("EntityID"));
    const QString signatureValueId = QStringLiteral("SignValID-") + MessageIdentifiers(values).NextIdSuffix();

    const XmlTag finalPayment =
        Pi(u"FinalPayment").xmlns(u"pi", XsdNamespace(u"PaymentInfo")).attr(u"Id", paymentId);
    const QString content = PaymentContent(value);

    const GostAlgorithm algorithm = key.algorithm();
    const QByteArray paymentHash = key.hash(finalPayment.always(content).toUtf8());

    const QString signedInfoContent = SignedInfoContent(
        u'#' + paymentId, {ENVELOPED_SIGNATURE_URI, EXC_C14N_URI}, Base64Line(paymentHash), algorithm);

    // Inside ds:Signature the prefix is declared by the signature element; canonicalised on its own
    // the SignedInfo declares it itself, and that form is what is signed.
    const QString signedInfo = Ds(u"SignedInfo").always(signedInfoContent);
    const QByteArray signingInput =
        Ds(u"SignedInfo").xmlns(u"ds", XMLDSIG_NS).always(signedInfoContent).toUtf8();
    const QString signatureText = Base64Line(key.sign(signingInput));
    const QString certificateText = Base64Line(key.certificate());

    // What is stamped is the signature value exactly as it is written into the element.
    const SoapRunOptions options = values.RunOptions();
    const QString timeStamp = GetTimeStamp({options.timeStampEnable,
                                            options.timeStampServer,
                                            {options.timeStampServerTrust, options.timeStampAuthorities}},
                                           key, signatureText, options.http);

    QString timeStampContent;
    timeStampContent += Xds(u"HashDataInfo").attr(u"URI", u'#' + signatureValueId).always({});
    timeStampContent += Xds(u"EncapsulatedTimeStamp").always(timeStamp);
    const QString qualifyingProperties =
        Xds(u"QualifyingProperties")
            .xmlns(u"xds", XADES_111_NS)
            .always(Xds(u"UnsignedProperties")
                        .always(Xds(u"UnsignedSignatureProperties")
                                    .always(Xds(u"SignatureTimeStamp").always(timeStampContent))));

    QString signatureContent = signedInfo;
    signatureContent += Ds(u"SignatureValue").attr(u"Id", signatureValueId).always(signatureText);
    signatureContent +=
        Ds(u"KeyInfo").always(Ds(u"X509Data").always(Ds(u"X509Certificate").always(certificateText)));
    signatureContent += Ds(u"Object").always(qualifyingProperties);
    const QString signatureElement = Ds(u"Signature").xmlns(u"ds", XMLDSIG_NS).always(signatureContent);

    // The enveloped signature is the last child; the digest above left it out.
    return finalPayment.always(content + signatureElement);
}

QString SoapCreateImportRequest(ContainerKey& key, ISOAPValues& values)
{
    const ValueReader value(values);
    const QString messageId = NewMessageId(values);
    const QString header = BuildSmevHeader(values, true);
    const QString senderIdentifier = value("SenderIdentifier");
    const QString timestamp = value("RequestMessageDate");
    const QString payment = SoapCreatePaymentBlock(key, values);

    const QString importRequest = XmlTag(u"msgd:ImportRequest")
                                      .xmlns(u"msgd", XsdNamespace(u"MessageData"))
                                      .always(XmlTag(u"pir:Package")
                                                  .xmlns(u"pir", XsdNamespace(u"PGU_ImportRequest"))
                                                  .always(XmlTag(u"pir:Document").always(payment)));
    return TransferMessage(header, messageId, senderIdentifier, timestamp, importRequest);
}

QString SoapCreatePackageStatusRequest(ISOAPValues& values)
{
    const ValueReader value(values);
    const QString messageId = NewMessageId(values);
    const QString header = BuildSmevHeader(values, true);
    const QString senderIdentifier = value("SenderIdentifier");
    const QString timestamp = value("RequestMessageDate");
    const QString packageId = value("PackageID");

    const QString statusRequest = XmlTag(u"msgd:PackageStatusRequest")
                                      .xmlns(u"msgd", XsdNamespace(u"MessageData"))
                                      .always(XmlTag(u"psr:PackageID")
                                                  .xmlns(u"psr", XsdNamespace(u"PackageStatusRequest"))
                                                  .always(packageId));
    return TransferMessage(header, messageId, senderIdentifier, timestamp, statusRequest);
}

namespace {

// An element of attributes only (time slot, taxpayer, paging). The pair is read once to decide
// whether the element exists and once more for the attributes; each attribute is written only
// when its own value is non-empty. The time slot and taxpayer values come as typed and are
// written in attribute form; the paging numbers are digits, which that form leaves unchanged.
QString AttributeElement(const ValueReader& value, XmlTag tag, QAnyStringView firstKey,
                         QAnyStringView firstAttribute, QAnyStringView secondKey,
                         QAnyStringView secondAttribute)
{
    const QString firstPresent = value(firstKey);
    const QString secondPresent = value(secondKey);
    if ((firstPresent + secondPresent).isEmpty())
        return {};
    const QString first = value(firstKey);
    const QString second = value(secondKey);
    if (!first.isEmpty())
        tag.attr(firstAttribute, XmlAttributeText(first));
    if (!second.isEmpty())
        tag.attr(secondAttribute, XmlAttributeText(second));
    return tag.always({});
}

} // namespace

QString SoapCreateExportRequest(ISOAPValues& values)
{
    const ValueReader value(values);
    // Both Ids come first so that they are consecutive, the smaller on the request message.
    const QString messageId = NewMessageId(values);
    const QString exportId = NewMessageId(values);
    const QString header = BuildSmevHeader(values, true);
    const QString senderIdentifier = value("SenderIdentifier");
    const QString timestamp = value("RequestMessageDate");
    const QString kind = value("ExportRequestKind");
    const QString supplierBillId = value("SupplierBillID");
    const QString payerIdentifier = value("PayerIdentifier");
    const QString timeslot = AttributeElement(value, XmlTag(u"pdr:Timeslot"), "TimeslotEndDate", "endDate",
                                              "TimeslotStartDate", "startDate");
    const QString kbk = value("KBKClassifier");
    const QString oktmo = value("OKTMOClassifier");
    const QString excludeUin = value("ExcludeUIN");
    const QString taxpayer = AttributeElement(value, XmlTag(u"pdr:TaxpayerIdentification"), "TaxpayerINN",
                                              "inn", "TaxpayerKPP", "kpp");
    const QString payeeId = value("PayeeID");
    const QString pdrNs = XsdNamespace(u"PGU_DataRequest");
    const QString paging =
        AttributeElement(value, XmlTag(u"pdr:Paging").xmlns(u"pdr", pdrNs), "PagingPageLength", "pageLength",
                         "PagingPageNumber", "pageNumber");

    QString conditions;
    conditions += XmlTag(u"pdr:ChargesIdentifiers")
                      .ifNonEmpty(XmlTag(u"pdr:SupplierBillID").ifNonEmpty(supplierBillId));
    const XmlTag payer = XmlTag(u"com:PayerIdentifier").xmlns(u"com", XsdNamespace(u"Common"));
    conditions +=
        XmlTag(u"pdr:Payers").ifNonEmpty(WrapTagList(payer.start(), payerIdentifier, payer.end(), false));
    conditions += timeslot;

    // Written when any restriction is given, so that a classifier or an exclusion given alone is
    // not dropped without a word.
    QString restrictions;
    restrictions +=
        XmlTag(u"pdr:SubordinateIdList").ifNonEmpty(taxpayer + XmlTag(u"pdr:PayeeID").ifNonEmpty(payeeId));
    restrictions += XmlTag(u"pdr:KBKClassifier").ifNonEmpty(XmlTag(u"pdr:KBK").ifNonEmpty(kbk));
    restrictions += XmlTag(u"pdr:OKTMOClassifier").ifNonEmpty(XmlTag(u"pdr:OKTMO").ifNonEmpty(oktmo));
    restrictions += XmlTag(u"pdr:Exclude").ifNonEmpty(excludeUin);

    QString filter = XmlTag(u"pdr:Conditions").always(conditions);
    filter += XmlTag(u"pdr:AdditionRestrictions").ifNonEmpty(restrictions);

    const QString exportRequest =
        XmlTag(u"msgd:ExportRequest")
            .xmlns(u"msgd", XsdNamespace(u"MessageData"))
            .attr(u"Id", exportId)
            .attr(u"kind", XmlAttributeText(kind))
            .always(XmlTag(u"pdr:Filter").xmlns(u"pdr", pdrNs).always(filter) + paging);
    return TransferMessage(header, messageId, senderIdentifier, timestamp, exportRequest);
}
