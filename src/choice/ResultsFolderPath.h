#pragma once

// Paths of the results folder dialog. The callers keep the results folder relative to the
// program folder ("/Results/9А"); values from files made on Windows may use "\".

#include <QString>
#include <functional>
#include <string>

namespace kvz {

// programFolder + field, with either separator accepted in field.
QString ResultsFieldToPath(const QString& programFolder, const QString& field);

// The full path as the caller's field shows it: without the program folder in front.
QString ResultsPathToField(const QString& programFolder, const QString& fullPath);

// The first parent + newFolderText + n (n = 0, 1, ...) for which exists is false; newFolderText
// is the message "\Новая папка " with "\" read as "/". Empty when no free name was found
// within a sane number of tries.
QString NewFolderPath(const QString& parent, const std::string& newFolderText,
                      const std::function<bool(const QString&)>& exists);

} // namespace kvz
