#pragma once

// Filled forms for message-builder tests: every key a builder asks, with the text the window's
// provider would hand out for a typical operation (already rendered and escaped).

#include "support/FakeSoapValues.h"

// The header keys and the GIS GMP routing.
FakeSoapValues GisGmpHeaderForm();
// A payment of 1500 roubles with a bank document, no partial payment.
FakeSoapValues GisGmpPaymentForm();
// The first charges request of a query by bill identifier and two payer identifiers.
FakeSoapValues GisGmpChargesForm();

// The header keys and the GIS ZhKH routing.
FakeSoapValues GisGkxHeaderForm();
// Payment document details by period, account number and the payer's name.
FakeSoapValues GisGkxDetailsForm();
// A notification of a payment to a legal entity by account number and address. TransportGUID
// counts up from 00000000-0000-4000-8000-000000000001 on every read.
FakeSoapValues GisGkxPaymentForm();
FakeSoapValues GisGkxCancelForm();
FakeSoapValues GisGkxStateForm();
