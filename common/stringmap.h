#pragma once
#include <QHash>
#include <QString>
#include <unordered_map>

// A map keyed by text for lookups once per row of a large log. Qt's own hash compares
// the key of every probed entry by a general string comparison, which on strings
// scattered over a large heap costs several times the lookup itself; this map keeps
// each key's hash and compares a key only when the hashes agree.
struct TStringHash {
    // Not noexcept on purpose: the standard map then stores the hash with each entry.
    size_t operator()(const QString &s) const { return qHash(s); }
};

template <class Value>
using TStringMap = std::unordered_map<QString, Value, TStringHash>;
