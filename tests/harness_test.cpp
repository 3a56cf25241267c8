// A live run, as the page plays the demo, on a device of the test's own: a
// clock the test moves, a display that now and then misses frames, and a
// viewer who goes to other moments, forward, back and near the end. Every
// frame shown must be the frame a whole run at 60 fps draws at its moment,
// fire included, from the checkpoints the device keeps: those the run made
// itself, or those a run ahead made that went to the end at once, as the
// page's are.
#include <gtest/gtest.h>
#include <map>
#include "scripted.h"
#include "util.h"
#include "vaskiloimu.h"

namespace {

Uint32 now;                             // the device's clock
long idles;                             // the device's frames so far
std::map<long, Sint32> going;           // at the device's frame: where the viewer goes
std::vector<std::pair<Sint32, std::vector<Uint32>>> seen;  // the frames shown, B | G << 8 | R << 16

// The checkpoints the device keeps, by stretch; how often a run offered one
// of each stretch, and went on from one.
struct Held {
    long frame;
    std::vector<Sint32> field;
    unsigned long draws;
    Uint32 next;
};
std::map<long, Held> held;
std::map<long, int> offered;
int restored;

// The effects' bytes B, G, R of the screen, without the fourth, which
// nothing shows.
std::vector<Uint32> screen()
{
    std::vector<Uint32> px(640 * 480);
    for (int i = 0; i < 640 * 480; i++)
        px[i] = SDL_SwapLE32(((Uint32 *)s->pixels)[i]) & 0xFFFFFF;
    return px;
}

}

void scripted::device_delay(Uint32 ms) { now += ms; }
Uint32 scripted::device_ticks() { return now; }
bool scripted::device_event(SDL_Event *) { return false; }

void scripted::device_shown(SDL_Surface *, Sint32 t)
{
    if (live())
        seen.emplace_back(t, screen());
}

// A display at 60 Hz that misses one frame in five.
void scripted::device_idle()
{
    now += ++idles % 5 ? 17 : 50;
}

bool scripted::device_go_to(Sint32 *t)
{
    auto g = going.find(idles);
    if (g == going.end())
        return false;
    *t = g->second;
    going.erase(g);
    return true;
}

void scripted::device_moved(Sint32) {}

void scripted::device_keep(long stretch, long frame, const Sint32 *field, unsigned long draws, Uint32 next)
{
    offered[stretch]++;
    if (field)
        held.try_emplace(stretch, Held{frame, {field, field + 640 * 486}, draws, next});
}

bool scripted::device_restore(long before, long *frame, unsigned long *draws, Uint32 *next)
{
    const Held *latest = nullptr;
    for (const auto &[stretch, h] : held)
        if (h.frame <= before)
            latest = &h;
    if (!latest)
        return false;
    std::copy(latest->field.begin(), latest->field.end(), firekg);
    *frame = latest->frame;
    *draws = latest->draws;
    *next = latest->next;
    restored++;
    return true;
}

namespace {

// The picture's width; whether a run ahead made the checkpoints first.
class Live : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(Live, EveryFrameShownIsTheWholeRunsAtItsMoment)
{
    TempDir dir;
    write_image(dir / "galleri.jpg", std::get<0>(GetParam()), 200);
    std::filesystem::current_path(dir.path);
    scripted::Run run;
    run.seed = 4242;
    run.live_fps = 60;
    held.clear();
    if (std::get<1>(GetParam())) {
        going = {{0, 75000}};
        idles = 0;
        scripted::play(run);
    }
    // To 45 s at once, back to 30 s (passed on the way), back to before the
    // fire, to the end of the cut, into the last second; each for a few
    // frames.
    going = {{3, 45000}, {8, 30000}, {11, 20000}, {14, 64010}, {20, 74925}};
    idles = 0;
    seen.clear();
    restored = 0;
    offered.clear();
    EXPECT_EQ(scripted::play(run).status, 0);
    EXPECT_TRUE(going.empty()) << "the run ended before the viewer was done";
    ASSERT_GE(seen.size(), 20u);
    EXPECT_GT(restored, 0);
    for (auto [stretch, times] : offered)
        EXPECT_EQ(times, 1) << "stretch " << stretch;

    // The whole run at 60 fps, straight through, against each frame shown
    // (the frames between quiet, as the capture tool's stills are).
    std::map<Sint32, std::vector<size_t>> at;
    for (size_t i = 0; i < seen.size(); i++)
        at[seen[i].first].push_back(i);
    scripted::Run whole;
    whole.seed = 4242;
    whole.shows = [&](Sint32 t) { return at.count(t) > 0; };
    size_t compared = 0;
    whole.see = [&](long, Sint32 t) {
        const std::vector<Uint32> px = screen();
        for (size_t i : at[t]) {
            auto differ = std::mismatch(px.begin(), px.end(), seen[i].second.begin());
            EXPECT_TRUE(differ.first == px.end()) << "frame " << i << " at " << t << " ms, pixel "
                                                  << (differ.first - px.begin()) % 640 << ", "
                                                  << (differ.first - px.begin()) / 640;
            compared++;
        }
        return true;
    };
    scripted::play(whole);
    EXPECT_EQ(compared, seen.size());
    // Where it went, the frame a run at 60 fps shows there.
    EXPECT_EQ(seen[3].first, 45000);
    EXPECT_EQ(seen.back().first, 75000);
}

// A picture as the default's, and one wider than the screen, whose blit
// SDL clips at both sides.
INSTANTIATE_TEST_SUITE_P(Harness, Live, ::testing::Combine(::testing::Values(300, 700), ::testing::Bool()));

}
