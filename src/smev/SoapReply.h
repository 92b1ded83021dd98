#pragma once

#include "foundation/XmlDocument.h"
#include "smev/SoapException.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class ISOAPValues;

// What every reader of a state system's reply (gisgmp/GisGmpReplies.h, gisgkx/GisGkxReplies.h)
// starts with. Each checks the envelope for a fault, then the answering system's status, and only
// then reads what the operation needs. A fault or a negative result raises ESOAPException; a node
// the reply must have but lacks raises EXMLException. Element names are matched by local name,
// ignoring prefixes and the case of letters.

// Raises when `root` is not a SOAP envelope or its body holds a fault.
void CheckSoapEnvelope(const XmlNode& root);

// The text of the node `path` leads to from `start`; EXMLException when there is none.
QString NodeText(const XmlNode& start, const QString& path);

// Whether `node` is the element a reader finds at `path` from the root (FindNodeByPath's first
// match at every step), asked from below while the tree is still being built.
bool IsAtPath(const XmlNode& node, const QString& path);

// The records of a long reply taken out of it while it is read (XmlDocument::parse's hand-off), so
// that the reply is never held whole as a tree: each record as the lines its reader would make of
// it. A record that does not read stays in the tree, and every one after it, where the reader
// meets it in its turn; the reader shows the taken records first, once the reply has passed its
// checks.
class TakenRecords final {
  public:
    // Adds the lines of `element` to `records` when it is one of the reply's records and reads;
    // false leaves it in the tree.
    using Reader = std::function<bool(const XmlNode& element, QList<QStringList>& records)>;

    explicit TakenRecords(Reader reader) : reader_(std::move(reader)) {}

    XmlHandOff handOff()
    {
        return [this](const XmlNode& element) { return reader_(element, records_); };
    }
    qsizetype size() const { return records_.size(); }
    // Hands each taken record to `values`, in order, letting go of it.
    void display(ISOAPValues& values);

  private:
    Reader reader_;
    QList<QStringList> records_;
};
