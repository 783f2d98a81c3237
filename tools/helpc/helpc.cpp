// helpc: compiles the help topics in help/ into a WinHelp 3.1 file and its contents file.
//
//   helpc PROJECT OUT.hlp OUT.cnt
//
// The topic files are named in PROJECT, relative to its folder. Outputs are written whole or
// not at all; a fault in a source is reported as FILE:LINE: what, with exit status 1.

#include "help_file.h"
#include "topic_source.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw helpc::CompileError("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    const std::filesystem::path temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            throw helpc::CompileError("cannot write " + temp.string());
    }
    std::filesystem::rename(temp, path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: helpc PROJECT OUT.hlp OUT.cnt\n";
        return 2;
    }
    try {
        const std::filesystem::path project_path = argv[1];
        const helpc::Project project =
            helpc::ParseProject(project_path.filename().string(), ReadFile(project_path));
        std::vector<helpc::Topic> topics;
        for (const std::string& name : project.topic_files)
            topics.push_back(helpc::ParseTopic(name, ReadFile(project_path.parent_path() / name)));
        helpc::CheckTopics(topics);
        const helpc::Bytes hlp = helpc::BuildHelpFile(project, topics);
        const std::filesystem::path hlp_path = argv[2];
        const std::string cnt =
            helpc::BuildContentsFile(project, topics, hlp_path.filename().string());
        WriteFile(hlp_path, std::string(hlp.begin(), hlp.end()));
        WriteFile(argv[3], cnt);
    } catch (const std::exception& e) {
        std::cerr << "helpc: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
