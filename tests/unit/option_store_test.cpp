#include "settings/option_store.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Keeps values in memory, answers within the capacity as a bounded registry read does, and fails
// the reads and writes it is told to.
class MemoryStore : public OptionStore {
public:
    std::map<std::string, StoredValue> values;
    std::set<std::string> failingReads, failingWrites;
    std::map<std::string, std::size_t> capacities;

    ReadResult Read(std::string_view name, std::size_t capacity, StoredValue& value) override {
        const std::string key(name);
        capacities[key] = capacity;
        const auto it = values.find(key);
        if (failingReads.count(key))
            return ReadResult::Failed;
        if (it == values.end())
            return ReadResult::Missing;
        if (it->second.bytes.size() > capacity)
            return ReadResult::TooLarge;
        value = it->second;
        return ReadResult::Found;
    }
    bool Write(std::string_view name, const StoredValue& value) override {
        if (failingWrites.count(std::string(name)))
            return false;
        values[std::string(name)] = value;
        return true;
    }
};

RecordingOptions Changed() {
    RecordingOptions o;
    o.StartY = 34;
    o.Width = 640;
    o.Height = 480;
    o.FrameRate = 15.0;
    o.PlaybackRate = 7.5;
    o.KeyFrames = 5;
    o.FileName = "take.avi";
    o.Start = {0x41, modifier::Control, "Ctrl+A"};
    return o;
}

} // namespace

TEST(OptionStore, UnusableAndMissingValuesLeaveTheirFieldsAndOnlyUnusableOnesAreReported) {
    MemoryStore store;
    for (OptionSection section : {OptionSection::State, OptionSection::Keys})
        EXPECT_TRUE(SaveOptions(store, section, Changed()).empty());
    EXPECT_EQ(store.values.size(), 19u + 14u);
    store.values.erase("KeyFrames");
    store.failingReads = {"StartY"};
    store.values["Width"].bytes.resize(2);
    store.values["FPS"].bytes.assign(4, 0);
    store.values["AVIFileName"].bytes.assign(300, 'n');
    store.values["Start Desc"].bytes.assign(61, 'd');

    RecordingOptions loaded;
    EXPECT_EQ(LoadOptions(store, OptionSection::State, loaded),
              (std::vector<std::string>{"StartY", "Width", "FPS", "AVIFileName"}));
    EXPECT_EQ(LoadOptions(store, OptionSection::Keys, loaded),
              std::vector<std::string>{"Start Desc"});
    const RecordingOptions defaults;
    EXPECT_EQ(loaded.KeyFrames, defaults.KeyFrames);
    EXPECT_EQ(loaded.StartY, defaults.StartY);
    EXPECT_EQ(loaded.Width, defaults.Width);
    EXPECT_EQ(loaded.FrameRate, defaults.FrameRate);
    EXPECT_EQ(loaded.FileName, defaults.FileName);
    EXPECT_EQ(loaded.Start.Desc, defaults.Start.Desc);
    // Each refusal stops nothing after it.
    EXPECT_EQ(loaded.Height, 480);
    EXPECT_EQ(loaded.PlaybackRate, 7.5);
    EXPECT_EQ(loaded.Start.Key, 0x41u);
    EXPECT_EQ(loaded.Start.Mod, modifier::Control);

    // No read may ask for more than its field holds.
    ASSERT_EQ(store.capacities.size(), 33u);
    for (const auto& [name, capacity] : store.capacities) {
        const bool desc = name.ends_with(" Desc");
        EXPECT_EQ(capacity, name == "AVIFileName" ? 260u : desc ? 60u : 4u) << name;
    }
}

TEST(OptionStore, AFailedWriteIsReportedAndTheOthersAreStillWritten) {
    MemoryStore store;
    store.failingWrites = {"StartX", "AVIFileName", "Pause Mod"};
    EXPECT_EQ(SaveOptions(store, OptionSection::State, Changed()),
              (std::vector<std::string>{"StartX", "AVIFileName"}));
    EXPECT_EQ(SaveOptions(store, OptionSection::Keys, Changed()),
              std::vector<std::string>{"Pause Mod"});
    EXPECT_EQ(store.values.size(), 33u - 3u);
    EXPECT_EQ(store.values.count("KeyFrames"), 1u);
    EXPECT_EQ(store.values.count("Pan Locked"), 1u);
}
