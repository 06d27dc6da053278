// Decoding in the confined helper: whatever happens to the helper costs the file, never the
// program; the picture already held stays, the next file loads, no helper is left behind; and
// the loader believes no reply it cannot check.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>

#include "imagelib/confined_decode.h"
#include "imagelib/decode_protocol.h"
#include "load_test_base.h"

using fixtures::Bytes;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif
#else
constexpr bool kAsan = false;
#endif

// The open descriptors of this process.
std::set<std::string> OpenFds() {
    std::set<std::string> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        fds.insert(entry.path().filename());
    return fds;
}

// The states of this process's children (R, S, Z...), by process id.
std::string ChildStates() {
    std::string states;
    std::ifstream children("/proc/self/task/" + std::to_string(gettid()) + "/children");
    for (int pid; children >> pid;) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string id, name, state;
        stat >> id >> name >> state;
        states += state;
    }
    return states;
}

class Confined : public LoadTest {
protected:
    void SetUp() override {
        LoadTest::SetUp();
        ASSERT_FALSE(ConfinedHelperPath().empty());
        ASSERT_TRUE(ConfinedHelperReady());
    }
    void TearDown() override {
        ConfinedFaultForTest(confined::Fault::None);
        LoadTest::TearDown();
    }
};

using FaultCase = std::tuple<const char*, confined::Fault, LoadError>;

class HelperFaults : public Confined, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HelperFaults, CostTheFileAndNothingElse) {
    const auto& [name, fault, why] = GetParam();
    if (fault == confined::Fault::Exhaust && kAsan)
        GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    raster::Bitmap* before = Load(fixtures::MakePng({.width = 4, .height = 3}), "previous.png");
    ASSERT_NE(before, nullptr);
    ASSERT_TRUE(ConfinedHelperReady());
    const std::set<std::string> fds = OpenFds();
    const std::string files[] = {fixtures::WriteTemp("picture.heic", fixtures::MakeHeif({})),
                                 fixtures::WriteTemp("picture.webp", fixtures::MakeWebp({}))};
    ImageSetLoadLimits({.decodeSeconds = 1});  // the hanging helper is stopped after it
    for (const std::string& file : files) {
        ConfinedFaultForTest(fault);
        const LoadResult refused = ImageLoadFile(100, file.c_str());
        EXPECT_EQ(refused.bitmap, nullptr) << file;
        EXPECT_EQ(refused.error, why) << file;
        EXPECT_EQ(ImageGetBitmap(100), before) << file;
        // The next file loads, as in a batch.
        EXPECT_NE(ImageLoadFile(101, file.c_str()).bitmap, nullptr) << file;
    }
    // Only the spare helper is left, no zombie, and every descriptor of the loads is closed.
    ASSERT_TRUE(ConfinedHelperReady());
    const std::string children = ChildStates();
    EXPECT_EQ(children.size(), 1u) << children;
    EXPECT_EQ(children.find('Z'), std::string::npos) << children;
    EXPECT_EQ(OpenFds(), fds);
}

INSTANTIATE_TEST_SUITE_P(
    Load, HelperFaults,
    ::testing::Values(FaultCase{"crash", confined::Fault::Crash, LoadError::Damaged},
                      FaultCase{"hang", confined::Fault::Hang, LoadError::Damaged},
                      FaultCase{"memory", confined::Fault::Exhaust, LoadError::TooLarge},
                      FaultCase{"escape", confined::Fault::Escape, LoadError::Damaged}),
    [](const auto& info) { return std::string(std::get<0>(info.param)); });

// A HEIC whose primary item is an overlay with its one tile at offsets that older libheif
// releases mis-clip (reading far outside the tile): whatever the system's libheif makes of it,
// the program stays up and either refuses the file as damaged, keeping the picture it held, or
// shows the 64 x 48 canvas.
Bytes Overlay(int32_t dx, int32_t dy) {
    fixtures::HeifBoxes d{.width = 32, .height = 24, .canvasWidth = 64, .canvasHeight = 48};
    d.tileX = dx, d.tileY = dy;
    return fixtures::MakeHeifBoxes(d);
}

class Overlays : public Confined,
                 public ::testing::WithParamInterface<std::pair<int32_t, int32_t>> {};

TEST_P(Overlays, AtHostileOffsetsCostAtMostTheFile) {
    const auto [dx, dy] = GetParam();
    raster::Bitmap* before = Load(fixtures::MakePng({.width = 4, .height = 3}), "previous.png");
    ASSERT_NE(before, nullptr);
    const Bytes overlay = Overlay(dx, dy);
    ASSERT_FALSE(overlay.empty());
    const LoadResult r = ImageLoadFile(100, fixtures::WriteTemp("overlay.heic", overlay).c_str());
    if (r.bitmap) {
        EXPECT_EQ(std::make_pair(r.bitmap->width, r.bitmap->height), std::make_pair(64, 48));
    } else {
        EXPECT_EQ(r.error, LoadError::Damaged);
        EXPECT_EQ(ImageGetBitmap(100), before);
    }
    // The tile placed inside the canvas: the overlay itself decodes.
    EXPECT_NE(Load(Overlay(8, 4), "inside.heic"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Load, Overlays,
                         ::testing::Values(std::pair{INT32_MIN, 0}, std::pair{0, INT32_MIN},
                                           std::pair{-40, -30}, std::pair{-(1 << 30), 5},
                                           std::pair{INT32_MAX - 8, 0},
                                           std::pair{0, INT32_MAX - 8}));

// Replies the loader must not believe, against one it must.
struct ReplyCase {
    const char* name;
    confined::Reply reply;
    bool believed;
    size_t size = confined::kReplyBytes;  // of the packet read
};

std::vector<ReplyCase> ReplyTable() {
    using confined::Reply;
    using enum ProbeAnswer;
    const Reply good{Rows24, 5, 4, 16, 10, {3, 4}};
    auto answer = [](ProbeAnswer a) { return Reply{a, 0, 0, 0, 0, {}}; };
    return {
        {"picture", good, true},
        {"picture_with_alpha", Reply{Rows32, 5, 4, 20, 0, {4, 4}}, true},
        {"rows_stored_across", Reply{Rows24, 5, 4, 16, 10, {5, 5}}, true},
        {"no_row_decoded", Reply{Rows24, 5, 4, 16, 10, {0, 4}}, false},
        {"more_rows_than_stored", Reply{Rows24, 5, 4, 16, 10, {5, 4}}, false},
        {"rows_of_another_picture", Reply{Rows24, 5, 4, 16, 10, {6, 6}}, false},
        {"refusal_with_rows", Reply{Damaged, 0, 0, 0, 0, {1, 1}}, false},
        {"refusal", answer(Damaged), true},
        {"not_this_format", answer(NotThisFormat), true},
        {"short_packet", good, false, confined::kReplyBytes - 1},
        {"unknown_answer", Reply{ProbeAnswer(3), 5, 4, 16, 10, {3, 4}}, false},
        {"unknown_refusal", answer(ProbeAnswer(-3)), false},
        {"refusal_with_sides", Reply{TooLarge, 5, 4, 16, 0, {}}, false},
        {"zero_width", Reply{Rows24, 0, 4, 16, 10, {3, 4}}, false},
        {"negative_height", Reply{Rows24, 5, -4, 16, 10, {3, 4}}, false},
        {"side_over_the_raster", Reply{Rows24, 40000, 4, 120000, 10, {3, 4}}, false},
        {"stride_too_small", Reply{Rows24, 5, 4, 12, 10, {3, 4}}, false},
        {"stride_too_large", Reply{Rows24, 5, 4, 1 << 30, 10, {3, 4}}, false},
        {"exif_too_large", Reply{Rows24, 5, 4, 16, confined::kMaxExif + 1, {3, 4}}, false},
    };
}

class Replies : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Replies, AreBelievedOnlyWhenTheyCanBe) {
    const auto& [name, reply, believed, size] = GetParam();
    const auto packet = confined::EncodeReply(reply);
    confined::Reply read;
    EXPECT_EQ(confined::DecodeReply(ByteView(packet.data(), size), read), believed);
    if (believed) {
        EXPECT_EQ(confined::PixelFileBytes(read),
                  uint64_t(reply.stride) * uint64_t(reply.height) + reply.exifBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Protocol, Replies, ::testing::ValuesIn(ReplyTable()),
                         [](const auto& info) { return std::string(info.param.name); });

// A helper's whole answer as the loader takes it: a picture is announced with its pixel memfd,
// sealed and exactly its size, then replied as announced.
struct AnswerCase {
    const char* name;
    uint64_t memfdBytes;  // 0: not announced, the memfd beside the reply instead
    bool sealed;
    confined::Reply reply;
    ProbeAnswer answer;
};

class Answers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Answers, AreTakenOnlyAsAnnounced) {
    const auto& [name, memfdBytes, sealed, reply, answer] = GetParam();
    const confined::Reply announced{ProbeAnswer::Rows24, 5, 4, 16, 2, {}};
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
    const int memfd = memfd_create("pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    ASSERT_EQ(ftruncate(memfd, memfdBytes ? memfdBytes : 66), 0);
    if (sealed) fcntl(memfd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW);
    if (memfdBytes) confined::SendPacket(pair[1], confined::EncodeAnnouncement(announced), memfd);
    if (reply.answer != ProbeAnswer::NotThisFormat)  // else the helper ends without a reply
        confined::SendPacket(pair[1], confined::EncodeReply(reply), memfdBytes ? -1 : memfd);
    close(memfd);
    close(pair[1]);
    EXPECT_EQ(ConfinedReadReply(pair[0], 1000).answer, answer);
    close(pair[0]);
}

std::vector<AnswerCase> AnswerTable() {
    using confined::Reply;
    using enum ProbeAnswer;
    const Reply good{Rows24, 5, 4, 16, 2, {4, 4}};
    return {{"announced", 66, true, good, Rows24},
            {"not_announced", 0, true, good, Damaged},
            {"memfd_short", 65, true, good, Damaged},
            {"memfd_long", 67, true, good, Damaged},
            {"memfd_unsealed", 66, false, good, Damaged},
            {"reply_unlike_announcement", 66, true, Reply{Rows24, 5, 5, 16, 2, {5, 5}}, Damaged},
            {"refused_after_announcement", 66, true, Reply{TooLarge, 0, 0, 0, 0, {}}, TooLarge},
            {"no_reply_after_announcement", 66, true, Reply{}, Damaged}};
}

INSTANTIATE_TEST_SUITE_P(Protocol, Answers, ::testing::ValuesIn(AnswerTable()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Protocol, RepliesOverThePixelLimitAndBadRequestsAreRefused) {
    ImageSetLoadLimits({.maxPixels = 19});
    confined::Reply read;
    const auto packet = confined::EncodeReply({ProbeAnswer::Rows24, 5, 4, 16, 0, {4, 4}});
    EXPECT_FALSE(confined::DecodeReply(ByteView(packet.data(), packet.size()), read));
    ImageSetLoadLimits(LoadLimits{});

    confined::Request request;
    request.fileBytes = 1000;
    request.pixelBytesHint = 4096;
    confined::Request read2;
    auto bytes = confined::EncodeRequest(request);
    EXPECT_TRUE(confined::DecodeRequest(ByteView(bytes.data(), bytes.size()), read2));
    EXPECT_EQ(std::pair(read2.fileBytes, read2.pixelBytesHint), std::pair(1000ul, 4096ul));
    EXPECT_FALSE(read2.limits.decodeConfined);
    for (auto change : {+[](confined::Request& r) { r.format = 99; },
                        +[](confined::Request& r) { r.fault = confined::Fault(77); },
                        +[](confined::Request& r) { r.fileBytes = r.limits.maxFileBytes + 1; },
                        +[](confined::Request& r) { r.limits.decodeSeconds = 0; },
                        +[](confined::Request& r) {
                            r.pixelBytesHint = r.limits.maxPixels * 4 + confined::kMaxExif + 1;
                        }}) {
        confined::Request bad;
        change(bad);
        bytes = confined::EncodeRequest(bad);
        EXPECT_FALSE(confined::DecodeRequest(ByteView(bytes.data(), bytes.size()), read2));
    }
}

}  // namespace
