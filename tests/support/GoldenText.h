#pragma once

// Committed expected messages. A golden file may be laid out one element per line and indented
// for reading: its lines are joined without their line breaks and leading blanks, so the text it
// stands for has no white space between elements, like the messages themselves.

#include <QString>
#include <QStringList>

#include "support/PrintQt.h"

#include <gtest/gtest.h>

// The text a golden file stands for; empty (and a test failure) when it cannot be read.
QString ReadGoldenText(const QString& path);

// Replaces the content of every element with the given name by the placeholder, for the parts of
// a message that change on every run (signature values, certificates of fresh test keys).
QString MaskElementContent(QString text, const QString& elementName, const QString& placeholder);

// The part of the text from the first occurrence of `from` through the next occurrence of `to`
// (both included); empty when either is missing. Picks a written element out of a message.
QString SliceFromTo(const QString& text, const QString& from, const QString& to);

// Compares byte for byte. On a mismatch the message shows where the texts part, and the actual
// text is written beside the test program, laid out like a golden file, for a line diff.
::testing::AssertionResult MatchesGolden(const QString& actual, const QString& goldenPath);
