#pragma once

// A whole WinHelp 3.1 file: the internal file system with its directory, |SYSTEM, |TOPIC,
// |CONTEXT, |CTXOMAP and |FONT, and the contents file that goes beside it.

#include "bytes.h"
#include "topic_source.h"

#include <string>
#include <vector>

namespace helpc {

struct InternalFile {
    std::string name;
    Bytes content;
};

// The container: header, the files each behind their file header, the directory last.
[[nodiscard]] Bytes BuildFileSystem(std::vector<InternalFile> files);

// The help file; the first topic is the contents topic. Topics must have passed CheckTopics.
[[nodiscard]] Bytes BuildHelpFile(const Project& project, const std::vector<Topic>& topics);

// The contents file (.cnt) for `hlp_name`: the file's title as a book holding every topic.
[[nodiscard]] std::string BuildContentsFile(const Project& project,
                                            const std::vector<Topic>& topics,
                                            const std::string& hlp_name);

} // namespace helpc
