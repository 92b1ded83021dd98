#pragma once

#include <QString>

class ContainerKey;
class ISOAPValues;

// The pi:FinalPayment element of one accepted payment, signed with the key of the container and,
// when time stamping is on, carrying the time stamp of its signature value.
// The key is read and unlocked once for all the signatures made with it.
QString SoapCreatePaymentBlock(ContainerKey& key, ISOAPValues& values);

// The payment's elements as its signature digests them, without the element around them: what the
// operator's values make of a payment, for a caller that signs nothing.
QString SoapCreatePaymentContent(ISOAPValues& values);

// The smev:GISGMPTransferMsg elements of the three GIS GMP requests; the result becomes the Body
// of the signed envelope.
QString SoapCreateImportRequest(ContainerKey& key, ISOAPValues& values);
QString SoapCreatePackageStatusRequest(ISOAPValues& values);
QString SoapCreateExportRequest(ISOAPValues& values);
