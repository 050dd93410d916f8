#pragma once
// The XML data packet: writer (readingxmlformat.cpp) and loader (readingxmlparser.cpp).

#include "record/readingfiles.h"

namespace sorrel {

class ReplacingFile;

namespace readingfile {

class ByteSource;

bool writeXml(const ReadingTable &table, ReplacingFile &file, const FileProgress &progress);
// Reads the packet into table, which should be empty; false when the file is no packet.
bool loadXml(ByteSource &source, ReadingTable &table, const FileProgress &progress);

} // namespace readingfile
} // namespace sorrel
