#include "foundation/Exceptions.h"
#include "gisgmp/GisGmpCodes.h"

#include "support/Raised.h"

#include <gtest/gtest.h>

namespace {

QString LengthError(const QString& kind, const QString& innOrKio, const QString& kpp,
                    const QString& citizenship, const QString& number, const QString& type)
{
    return Raised<Exception>([&] { MakePayerIdentifiers(kind, innOrKio, kpp, citizenship, number, type); });
}

} // namespace

TEST(PayerIdentifier, CitizenFromIdentityDocument)
{
    EXPECT_EQ(MakePayerIdentifiers("1", "", "", "643", "1234567890", "01"),
              QStringLiteral("0100000000001234567890643"));
    // Typed values are not cleaned: the blanks of "45 06 123456" stay, short codes are padded.
    EXPECT_EQ(MakePayerIdentifiers("1", "", "", "1", "45 06 123456", "7"),
              QStringLiteral("070000000045 06 123456001"));
    EXPECT_EQ(MakePayerIdentifiers("1", "", "", "112", "1", "21"),
              QStringLiteral("2100000000000000000001112"));
    // No document number: no identifier, and no length complaint either.
    EXPECT_EQ(MakePayerIdentifiers("1", "7707083893", "773601001", "643", "", "01"), QString());
    // Padding never cuts: a number of 21 characters makes the identifier one too long.
    EXPECT_EQ(LengthError("1", "", "", "643", "123456789012345678901", "01"),
              QStringLiteral("Неверная длина идентификатора плательщика: 26. Ожидалось: 25"));
}

TEST(PayerIdentifier, ResidentCompanyAndSoleTrader)
{
    EXPECT_EQ(MakePayerIdentifiers("2", "7707083893", "773601001", "643", "", ""),
              QStringLiteral("27707083893773601001"));
    EXPECT_EQ(LengthError("2", "770708389312", "773601001", "643", "", ""),
              QStringLiteral("Неверная длина идентификатора плательщика: 22. Ожидалось: 20"));
    // Built even from empty fields, so the operator learns what is missing.
    EXPECT_EQ(LengthError("2", "", "", "643", "", ""),
              QStringLiteral("Неверная длина идентификатора плательщика: 1. Ожидалось: 20"));

    EXPECT_EQ(MakePayerIdentifiers("4", "500100732259", "", "643", "", ""), QStringLiteral("4500100732259"));
    EXPECT_EQ(LengthError("4", "", "", "643", "", ""),
              QStringLiteral("Неверная длина идентификатора плательщика: 1. Ожидалось: 13"));
}

TEST(PayerIdentifier, NonResidentCompanyLengthFollowsTheKio)
{
    EXPECT_EQ(MakePayerIdentifiers("3", "12345", "773601001", "643", "", ""),
              QStringLiteral("312345773601001"));
    EXPECT_EQ(MakePayerIdentifiers("3", "9909012345", "773601001", "643", "", ""),
              QStringLiteral("39909012345773601001"));
    EXPECT_EQ(LengthError("3", "9909012345", "", "643", "", ""),
              QStringLiteral("Неверная длина идентификатора плательщика: 11. Ожидалось: 20"));
    EXPECT_EQ(LengthError("3", "12345", "7736010011", "643", "", ""),
              QStringLiteral("Неверная длина идентификатора плательщика: 16. Ожидалось: 15"));
}

TEST(PayerIdentifier, UnknownKindGivesNothing)
{
    EXPECT_EQ(MakePayerIdentifiers("5", "7707083893", "773601001", "643", "1", "01"), QString());
    EXPECT_EQ(MakePayerIdentifiers("", "7707083893", "773601001", "643", "1", "01"), QString());
}

TEST(GisGmpCodes, ChargeKindsAndQuittanceStatuses)
{
    EXPECT_EQ(ChargeKindName(0), QStringLiteral("CHARGE"));
    EXPECT_EQ(ChargeKindName(8), QStringLiteral("TEMP-CHARGING-STATUS"));
    EXPECT_EQ(ChargeKindName(9), QStringLiteral("CHARGE"));
    EXPECT_EQ(ChargeKindName(-1), QStringLiteral("CHARGE"));

    EXPECT_EQ(QuittanceStatusText(QStringLiteral("2")), QStringLiteral("2 (предварительно сквитировано)"));
    EXPECT_EQ(QuittanceStatusText(QStringLiteral("5")), QStringLiteral("5"));
    EXPECT_EQ(QuittanceStatusText(QStringLiteral(" 1")), QStringLiteral(" 1"));
}
