#pragma once
// Contacts from a desktop's address book (vCard 2.1, 3.0 and 4.0) and from CSV files
// (UTF-8 or code page 1250, ";" or "," between fields), as phonebook entries: one entry
// for each number of a contact. A file without a single contact raises Exception with a
// message for the user.
#include "phonebook.h"

#include <QByteArray>
#include <QList>

QList<TPhonebookEntry> ImportVCard(const QByteArray &bytes);
QList<TPhonebookEntry> ImportCsv(const QByteArray &bytes);
// By the file's contents: vCard when it holds BEGIN:VCARD, CSV otherwise.
QList<TPhonebookEntry> ImportContacts(const QByteArray &bytes);
