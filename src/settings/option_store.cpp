#include "settings/option_store.h"

std::vector<std::string> LoadOptions(OptionStore& store, OptionSection section,
                                     RecordingOptions& options) {
    std::vector<std::string> unused;
    for (const StoredOption& option : StoredOptions(section)) {
        StoredValue value;
        const ReadResult read = store.Read(option.name, option.capacity, value);
        if (read == ReadResult::Missing)
            continue;
        if (read != ReadResult::Found ||
            ApplyStoredValue(option, options, value) != ApplyResult::Applied)
            unused.emplace_back(option.name);
    }
    return unused;
}

std::vector<std::string> SaveOptions(OptionStore& store, OptionSection section,
                                     const RecordingOptions& options) {
    std::vector<std::string> failed;
    for (const StoredOption& option : StoredOptions(section))
        if (!store.Write(option.name, EncodeStoredValue(option, options)))
            failed.emplace_back(option.name);
    return failed;
}

std::vector<std::string> OptionNames(OptionSection section) {
    std::vector<std::string> names;
    for (const StoredOption& option : StoredOptions(section))
        names.emplace_back(option.name);
    return names;
}
