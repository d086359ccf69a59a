// libFuzzer entry for the data-dictionary loader: the input is one XML file
// of the dictionary. Whatever loads must be whole enough to print and to be
// found by name, and must free cleanly (the leak checker sees the rest).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "runtime/log.h"
#include "velmora/data_dictionary.h"
#include "velmora/table_defn.h"

namespace {

std::string DictionaryFile()
{
    static std::string path;
    if (path.empty()) {
        char dir[] = "/tmp/tw-dict-fuzz.XXXXXX";
        if (!mkdtemp(dir))
            abort();
        path = std::string(dir) + "/dictionary.xml";
        InitTableDefnVector();
        // Every line the loader logs is formatted, into nowhere.
        InitLogDefaults();
        SetLogLevel(4);
        SetLogFilePtr(fopen("/dev/null", "w"));
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = DictionaryFile();
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || fwrite(data, 1, size, file) != size || fclose(file) != 0)
        abort();
    if (XmlDataParser(path.c_str()) != VELMORA_SUCCESS)
        abort(); // a path was given: problems are logged, never returned
    for (LCDNode* node = gv_tableDefns.head; node; node = node->next) {
        auto* table = static_cast<TableDefn*>(node->data);
        if (!table || !table->name || !table->columns || !table->constraints)
            abort();
        if (!GetTableDefnByName(table->name))
            abort();
    }
    PrintTableDefns();
    FreeTableDefns();
    return 0;
}
