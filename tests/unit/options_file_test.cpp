#include "settings/options_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// What a read of one name answers, with a buffer of `capacity` bytes.
struct Answer {
    long result = 0;
    uint32_t type = 0;
    uint32_t size = 0;
    std::string bytes; // the bytes written into the buffer, up to the first untouched one
};

constexpr unsigned char kUntouched = 0xAB;

Answer Query(const OptionList& list, std::string_view name, uint32_t capacity) {
    // Guard bytes after the buffer catch any write past `capacity`.
    std::vector<unsigned char> buffer(capacity + 8, kUntouched);
    Answer a;
    a.size = capacity;
    a.result = list.QueryOption(name, &a.type, buffer.data(), &a.size);
    for (std::size_t i = capacity; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], kUntouched) << "written past the buffer for " << name;
    const std::size_t used = a.result == option_answer::Ok ? std::min(a.size, capacity) : 0;
    a.bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
    return a;
}

std::string Le(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16),
            static_cast<char>(u >> 24)};
}
std::string Z(std::string text) {
    text.push_back('\0');
    return text;
}

OptionList Parsed(std::string_view text) {
    OptionList list;
    list.Parse(text);
    return list;
}

} // namespace

TEST(OptionsFile, LinesReadAsTheFormatSays) {
    const std::string longLine = "\"Start Desc\"  \"" + std::string(1100, 'd') + "\"\r\n";
    // A comment cut at 1023 characters whose rest happens to start with a quote.
    const std::string cutComment = "#" + std::string(1022, '-') + "\"KeyFrames\"  7\r\n";
    const std::string maxPositive = "2147483647", maxNegative = "-2147483648";
    struct Case {
        std::string file, name;
        long result;
        uint32_t type;
        std::string bytes;
    };
    using namespace option_answer;
    constexpr uint32_t kNum = stored_type::Dword, kText = stored_type::Text;
    const Case cases[] = {
        {"\"fps\"  15000\r\n", "FPS", Ok, kNum, Le(15000)}, // names match whatever their case
        {"\"Width\"\t \t640\r\n", "Width", Ok, kNum, Le(640)},
        {"\"WinX\"  -1000\r\n", "WinX", Ok, kNum, Le(-1000)},
        {"\"StartX\"\r\n", "StartX", Ok, kNum, Le(0)}, // a name alone is the number 0
        {"\"StartX\"  12abc\r\n", "StartX", Ok, kNum, Le(12)},
        {"\"StartX\"  abc\r\n", "StartX", Ok, kNum, Le(0)},
        {"\"StartX\"  +-5\r\n", "StartX", Ok, kNum, Le(0)},
        {"\"StartX\"  " + maxPositive + "\r\n", "StartX", Ok, kNum, Le(INT32_MAX)},
        {"\"StartX\"  " + maxNegative + "\r\n", "StartX", Ok, kNum, Le(INT32_MIN)},
        // Beyond 32 bits a number is unusable, not wrapped.
        {"\"StartX\"  2147483648\r\n", "StartX", InvalidData, kNum, ""},
        {"\"StartX\"  -2147483649\r\n", "StartX", InvalidData, kNum, ""},
        {"\"FPS\"  99999999999999999999999\r\n", "FPS", InvalidData, kNum, ""},
        // Texts: nothing is escaped; the last character is the closing quote whatever it is.
        {"\"AVIFileName\"  \"C:\\clips\\a b.avi\"\r\n", "AVIFileName", Ok, kText,
         Z("C:\\clips\\a b.avi")},
        {"\"AVIFileName\"  \"clip.avi\"  \r\n", "AVIFileName", Ok, kText, Z("clip.avi\" ")},
        {"\"AVIFileName\"  \"say \"hi\".avi\"\n", "AVIFileName", Ok, kText, Z("say \"hi\".avi")},
        {"\"Start Desc\"  \"\"\r\n", "Start Desc", Ok, kText, Z("")},
        {"\"Start Desc\"  \"\r\n", "Start Desc", Ok, kText, Z("")}, // one quote: empty text
        {"\"Start Desc\"  \"F2\r\n", "Start Desc", Ok, kText, Z("F")},
        // The first of two lines of one name wins.
        {"\"Width\"  100\r\n\"WIDTH\"  200\r\n", "width", Ok, kNum, Le(100)},
        // Comments, sections and blank lines are not values.
        {"; note\r\n[State]\r\n\r\n \"Width\"  5\r\n\"Height\"  6", "Height", Ok, kNum, Le(6)},
        {"; note\r\n[State]\r\n\r\n \"Width\"  5\r\n", "Width", NotFound, 0, ""},
        // A line longer than 1023 characters is cut; the text keeps what fits.
        {longLine, "Start Desc", Ok, kText, Z(std::string(1023 - 16, 'd'))},
        {cutComment, "KeyFrames", Ok, kNum, Le(7)},
        // The open cases: no closing quote, an empty name, a zero byte in the line.
        {"\"StartX  5\r\n", "StartX  5", NotFound, 0, ""},
        {"\"\"  5\r\n", "", NotFound, 0, ""},
        {std::string("\"Sta\0rtX\"  5\r\n", 14), "Sta", NotFound, 0, ""},
        {std::string("\"StartX\"  5\0 9\r\n", 16), "StartX", Ok, kNum, Le(5)},
        {"\"Width\"  5\r\n", "Height", NotFound, 0, ""},
    };
    for (const Case& c : cases) {
        const Answer a = Query(Parsed(c.file), c.name, 1100);
        SCOPED_TRACE(c.file.substr(0, 60));
        EXPECT_EQ(a.result, c.result);
        if (c.result == Ok || c.result == InvalidData) {
            EXPECT_EQ(a.type, c.type);
        }
        EXPECT_EQ(a.bytes, c.bytes);
        if (c.result == Ok) {
            EXPECT_EQ(a.size, c.bytes.size());
        }
    }
}

TEST(OptionsFile, SmallBuffersGetTheSizeAndNothingElse) {
    const OptionList list = Parsed("\"AVIFileName\"  \"clip.avi\"\r\n\"Width\"  640\r\n");
    struct Case {
        const char* name;
        uint32_t capacity;
        long result;
        uint32_t size;
    };
    for (const Case& c :
         {Case{"AVIFileName", 8, option_answer::MoreData, 9},
          Case{"AVIFileName", 9, option_answer::Ok, 9},
          Case{"AVIFileName", 0, option_answer::MoreData, 9},
          Case{"Width", 3, option_answer::MoreData, 4}, Case{"Width", 4, option_answer::Ok, 4}}) {
        const Answer a = Query(list, c.name, c.capacity);
        EXPECT_EQ(a.result, c.result) << c.name << " " << c.capacity;
        EXPECT_EQ(a.size, c.size) << c.name << " " << c.capacity;
    }
    // Asking for the size alone succeeds.
    uint32_t type = 0, size = 0;
    EXPECT_EQ(list.QueryOption("AVIFileName", &type, nullptr, &size), option_answer::Ok);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(type, stored_type::Text);
    unsigned char buffer[4];
    EXPECT_EQ(list.QueryOption("Width", nullptr, buffer, nullptr), option_answer::InvalidParameter);
}

TEST(OptionsFile, WritesReplaceTheFirstOfANameOrAppendAndRefuseWhatCannotBeALine) {
    OptionList list = Parsed("\"fps\"  1\r\n\"FPS\"  2\r\n\"Other\"  x\r\n");
    auto dword = [](int32_t v) {
        const std::string b = Le(v);
        return std::vector<unsigned char>(b.begin(), b.end());
    };
    auto text = [](std::string_view t) {
        std::vector<unsigned char> b(t.begin(), t.end());
        b.push_back(0);
        return b;
    };
    EXPECT_EQ(list.SetOption("FPS", stored_type::Dword, dword(15000)), option_answer::Ok);
    EXPECT_EQ(list.SetOption("WinX", stored_type::Dword, dword(-1000)), option_answer::Ok);
    EXPECT_EQ(list.SetOption("AVIFileName", stored_type::Text, text("a \"b\".avi")),
              option_answer::Ok);
    // Refused, changing nothing: other types, short numbers, line breaks, a line the reader
    // would cut, names that would not read back.
    const std::string longest(1023 - 19, 'n'); // "AVIFileName", quotes, blanks, CR LF
    EXPECT_EQ(list.SetOption("AVIFileName", 3, text("x")), option_answer::Refused);
    EXPECT_EQ(list.SetOption("AVIFileName", stored_type::Dword, {}), option_answer::InvalidData);
    for (const char* bad : {"a\r\nb", "a\rb", "a\n"})
        EXPECT_EQ(list.SetOption("Start Desc", stored_type::Text, text(bad)),
                  option_answer::InvalidData);
    EXPECT_EQ(list.SetOption("AVIFileName", stored_type::Text, text(longest + 'n')),
              option_answer::InvalidData);
    for (const char* bad : {"", "a\"b", "a\nb"})
        EXPECT_EQ(list.SetOption(bad, stored_type::Dword, dword(1)), option_answer::InvalidData);
    EXPECT_EQ(list.Format(), "\"fps\"  15000\r\n\"FPS\"  2\r\n\"Other\"  x\r\n"
                             "\"WinX\"  -1000\r\n\"AVIFileName\"  \"a \"b\".avi\"\r\n");

    // The longest text that fits reads back whole.
    ASSERT_EQ(list.SetOption("AVIFileName", stored_type::Text, text(longest)), option_answer::Ok);
    EXPECT_EQ(Query(Parsed(list.Format()), "AVIFileName", 2000).bytes, Z(longest));
}

TEST(OptionsFile, SettingsLoadThroughTheRulesAndADumpKeepsForeignLinesInPlace) {
    const std::string tooLong(260, 'n');
    OptionList list = Parsed("; written by hand\r\n"
                             "\"fps\"\t15000\r\n"
                             "\"Width\"  640\r\n"
                             "\"Colleague's\"  \"keep me\"\r\n"
                             "\"Width\"  800\r\n"
                             "\"Height\"  0\r\n"
                             "\"FPSPlay\"  0\r\n"
                             "\"StartX\"  4294967296\r\n"
                             "\"StartY\"  \"12\"\r\n"
                             "\"AVIFileName\"  \"" +
                             tooLong +
                             "\"\r\n"
                             "\"Pause Desc\"  \"Pause!\"\r\n"
                             "\"Start Desc\"  \"a\rb\"\r\n");
    RecordingOptions o;
    const std::vector<std::string> unusedState = LoadOptions(list, OptionSection::State, o);
    const std::vector<std::string> unusedKeys = LoadOptions(list, OptionSection::Keys, o);
    EXPECT_EQ(o.FrameRate, 15.0);
    EXPECT_EQ(o.Width, 640);
    EXPECT_EQ(o.Pause.Desc, "Pause!");
    // Refused by the settings' own rules, so the defaults stay: a zero size or rate, a number
    // beyond 32 bits, a text where a number belongs, a file name too long for its buffer.
    EXPECT_EQ(o.Height, 240);
    EXPECT_EQ(o.PlaybackRate, 10.0);
    EXPECT_EQ(o.StartX, 0);
    EXPECT_EQ(o.StartY, 0);
    EXPECT_EQ(o.FileName, "clip.avi");
    EXPECT_EQ(unusedState,
              (std::vector<std::string>{"StartX", "StartY", "Height", "FPSPlay", "AVIFileName"}));
    // A line break inside a description could never be written back into a line.
    EXPECT_EQ(o.Start.Desc, "F2");
    EXPECT_EQ(unusedKeys, (std::vector<std::string>{"Start Desc"}));

    o.Width = 1024;
    EXPECT_TRUE(SaveOptions(list, OptionSection::State, o).empty());
    EXPECT_TRUE(SaveOptions(list, OptionSection::Keys, o).empty());
    const std::string dump = list.Format();
    const std::string start = "\"fps\"  15000\r\n"
                              "\"Width\"  1024\r\n"
                              "\"Colleague's\"  \"keep me\"\r\n"
                              "\"Width\"  800\r\n"
                              "\"Height\"  240\r\n"
                              "\"FPSPlay\"  10000\r\n"
                              "\"StartX\"  0\r\n"
                              "\"StartY\"  0\r\n"
                              "\"AVIFileName\"  \"clip.avi\"\r\n"
                              "\"Pause Desc\"  \"Pause!\"\r\n"
                              "\"Start Desc\"  \"F2\"\r\n"
                              "\"WinX\"  -1000\r\n"
                              "\"WinY\"  -1000\r\n"
                              "\"WndHide\"  1048\r\n"
                              "\"IncFilename\"  1\r\n";
    EXPECT_EQ(dump.substr(0, start.size()), start);
    // Eleven lines of the file, then the 22 values it lacked.
    EXPECT_EQ(list.Entries().size(), 11u + 33u - 9u);
    EXPECT_EQ(list.Entries().back(), (OptionEntry{"Pan Locked", "0"}));
}

TEST(OptionsFile, EveryValueWrittenToANewFileReadsBackAsItWent) {
    OptionList list;
    RecordingOptions o;
    o.Width = 777;
    o.FileName = "C:\\a b\\c.avi";
    o.FrameRate = 7.5;
    o.LockPan.Desc = "Shift + F3";
    ASSERT_TRUE(SaveOptions(list, OptionSection::State, o).empty());
    ASSERT_TRUE(SaveOptions(list, OptionSection::Keys, o).empty());
    ASSERT_EQ(list.Entries().size(), 33u);
    RecordingOptions back;
    OptionList reread = Parsed(list.Format());
    EXPECT_TRUE(LoadOptions(reread, OptionSection::State, back).empty());
    EXPECT_TRUE(LoadOptions(reread, OptionSection::Keys, back).empty());
    EXPECT_EQ(back.Width, 777);
    EXPECT_EQ(back.FileName, o.FileName);
    EXPECT_EQ(back.FrameRate, 7.5);
    EXPECT_EQ(back.LockPan.Desc, "Shift + F3");
}
