#pragma once
// The tab-separated reading file: writer and loader (see readingtextformat.cpp).

#include "record/readingfiles.h"

namespace sorrel {

class ReplacingFile;

namespace readingfile {

class ByteSource;

bool writeText(const ReadingTable &table, ReplacingFile &file, const FileProgress &progress);
// Appends the file's rows; the rows before a bad line stay.
bool loadText(ByteSource &source, ReadingTable &table, const FileProgress &progress);

} // namespace readingfile
} // namespace sorrel
