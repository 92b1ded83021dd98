#pragma once

// Assertions over signed messages for the tests; the checks themselves are the receiver's own
// (smev/SignatureVerifier.h).

#include "smev/SignatureVerifier.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

// For EXPECT_TRUE: the failures listed when there are any.
::testing::AssertionResult Verified(const SignatureCheck& check);

// Whether the text is well-formed namespace-aware XML with every prefix declared; the parser's
// complaints otherwise.
::testing::AssertionResult IsNamespaceWellFormed(const QByteArray& text);

// Reading a message as a receiver does: the qualified names of the child elements of the first
// element with the local name, and the value of one of its attributes as the parser decodes it.
QStringList ChildElementNames(const QByteArray& text, const char* localName);
QString AttributeValue(const QByteArray& text, const char* localName, const char* attributeName);
