#pragma once

// A question's textbook link, [">"]file["|"parameters]: which file it names, where that file
// lies, what the link's hint says, and whether the program can show the file itself.

#include <QString>
#include <string>
#include <string_view>

namespace kvz {

struct TextbookLink {
    QString file;       // as written, "\" turned into "/"
    QString parameters; // the text after the first "|", as written; empty when none
    // A leading ">": the file is below the program folder, which is also the working folder.
    bool inProgramFolder = false;
};

// The link text is Windows-1251 bytes from the archive.
TextbookLink parseTextbookLink(std::string_view textbook);

// The hint of the link label: the text without a leading ">" and with the first "|" made a
// space. Empty when the question has no link.
QString textbookHint(std::string_view textbook);

// Where the file lies: below programFolder for a ">" link; otherwise an absolute path as it
// stands, and a relative one from the current folder (the test choice makes it the Base
// folder) or, failing that, from the Base folder itself. Empty when the link names no file.
QString resolveTextbookFile(const TextbookLink& link, const QString& programFolder,
                            const QString& currentFolder);
// The working folder a program opening the file gets: programFolder for a ">" link.
QString textbookWorkingFolder(const TextbookLink& link, const QString& programFolder);

// What the program's own viewer makes of a file, by its extension.
enum class TextbookView { Html, Text, Picture, Pdf, Outside };
TextbookView textbookViewFor(const QString& path);

// Where in the file a link's parameters point, as far as the program's own viewer can follow
// them: an HTML page's anchor ("#глава2") or a PDF page ("page=5", "#page=5", "/A page=5" or a
// bare number, counted from 1). What the viewer cannot follow is left in unused.
struct TextbookPlace {
    QString fragment; // an anchor of an HTML page, without "#"
    int pdfPage = 0;  // a page of a PDF document from 1; 0: none
    QString unused;   // the parameters, or the part of them, that point nowhere here
};
TextbookPlace textbookPlace(const QString& parameters, TextbookView view);

// A textbook page in Windows-1251 or UTF-8: UTF-8 when it says so (a byte-order mark or a
// charset in an HTML header) or when its bytes are valid UTF-8; Windows-1251 otherwise.
QString decodeTextbookText(const QByteArray& bytes);

} // namespace kvz
