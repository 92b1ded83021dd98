#pragma once

#include "client/Form.h"

#include <QString>
#include <QStringList>

// The settings tab as the file beside the executable keeps it.
struct ClientSettings {
    QString serviceChargesGisGmp;
    QString servicePaymentGisGmp;
    QString serviceChargesGisGkx;
    QString servicePaymentGisGkx;
    QString systemName;
    QString smevCode;
    QString gisGmpCode;
    QString gisGkxCode;
    QString timeStampServer;
    bool testMode = false;
    bool timeStampEnable = false;
    QString container;
    // Each reply's signature must verify and come from a certificate of the trust file.
    bool verifyReplySignature = false;
    // https servers must show a certificate of the trust file (or of the system's store when
    // there is no trust file); otherwise any certificate is accepted, as the test stands need.
    bool verifyServerCertificate = false;
    // The file of trusted certificates: SMEV's, the authorities that issue them, the servers'.
    QString trustedCertificates;
    // Replies may also be signed by any certificate an authority of the trust file issued for
    // signing; otherwise only by the file's certificates themselves.
    bool acceptIssuedReplySigners = false;
    // A shared journal's PostgreSQL URI; empty: the data folder's own journal file.
    QString journalDatabase;
};

// What a first start shows: the first suggested addresses and placeholder codes.
ClientSettings DefaultSettings();

// The settings of the file, or the defaults when there is no file. A file that lacks a key leaves
// that setting empty. A file that cannot be read raises Exception. `damage`, when given, receives
// what the operator must be told about a damaged file that was read all the same (or nothing).
// `problems`, when given, receives each line the settings cannot use, by number from 1: a line
// without "=", an unknown key, a switch that is neither 0 nor 1, an address that is not http or
// https; first of all a damaged file (other than one merely taken for UTF-8). The window has
// always passed over them; a script is told.
ClientSettings ReadSettingsFile(const QString& fileName, QString* damage = nullptr,
                                QStringList* problems = nullptr);

// Replaces the file as a whole.
void WriteSettingsFile(const QString& fileName, const ClientSettings& settings);

// The sender's names and codes under the control names the value provider reads them from.
void AddSettingsFields(const ClientSettings& settings, Form& form);
