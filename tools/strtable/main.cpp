// strtable: turns the readable source of a string table into a C++ source file that
// embeds the table in the "STR0" layout.
//
//   strtable <source.txt> <output.cpp> <function-name>
//
// The output is written only when the whole source is valid; on any error the tool
// prints it and exits with status 1, leaving no output file behind.

#include "tools/strtable/GeneratedSource.h"
#include "tools/strtable/StringTableLayout.h"
#include "tools/strtable/StringTableSource.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::path partial = path;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << content;
        out.close();
        if (!out) {
            std::filesystem::remove(partial);
            throw std::runtime_error("cannot write " + path.string());
        }
    }
    std::filesystem::rename(partial, path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: strtable <source.txt> <output.cpp> <function-name>\n";
        return 1;
    }
    const std::filesystem::path source = argv[1];
    const std::filesystem::path output = argv[2];
    const std::string functionName = argv[3];
    try {
        if (!strtable::IsIdentifier(functionName)) {
            throw std::runtime_error("not a C++ function name: " + functionName);
        }
        const auto entries = strtable::ParseStringTableSource(ReadWholeFile(source));
        const auto table = strtable::BuildStringTable(entries);
        WriteWholeFile(
            output, strtable::GenerateTableSource(table, functionName, source.filename().string()));
        std::cout << "strtable: " << source.filename().string() << ": " << entries.size()
                  << " entries, " << table.size() << " bytes\n";
    } catch (const std::exception& e) {
        std::cerr << "strtable: " << source.string() << ": " << e.what() << '\n';
        return 1;
    }
    return 0;
}
