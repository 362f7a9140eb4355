// ScreenBench's latencies: the announcement's line to the X server's pixels and to the headless
// framebuffer, the keys to the announcement, and the reset line to the process's end.

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ScreenWatchers.h"
#include "ScreenKiosk.h"
#include "ScreenShared.h"
#include "support/FramebufferSnapshots.h"
#include "support/ImageFiles.h"
#include "support/ProcessStats.h"

namespace ScreenBench {

XScreen::XScreen() = default;
XScreen::~XScreen() = default;

namespace {

// 3 (X), one run: from the announcement's line on the terminal to the first changed pixel of the
// text area on the X server, ENTER pressed on the unit. Also: the unit's key to the announcement.
void MeasureXLatencyOnce(XScreen& screen, int run)
{
	const std::string which = "X latency on " + screen.name + ", run " + std::to_string(run) + ": ";
	TextAreaReader& reader = *screen.reader;
	Kiosk kiosk;
	std::string error;
	if (!kiosk.Start({{"DISPLAY", screen.server->DisplayName()}}, kUnsetForX, &error)) {
		AddNote(which + error);
		return;
	}
	// The question, painted and settled: two reads alike, 100 ms apart.
	std::vector<uint32_t> question;
	const Clock::time_point settleDeadline = Clock::now() + 20s;
	for (;;) {
		question = reader.Read();
		std::this_thread::sleep_for(100ms);
		if (ShowsSecondLine(question) && reader.Read() == question)
			break;
		if (Clock::now() > settleDeadline) {
			question.clear();
			break;
		}
	}
	if (question.empty()) {
		AddNote(which + "the question never appeared on the X server");
		kiosk.Stop();
		return;
	}

	PulseWatch pulses(kiosk.Program().Pid());
	const Clock::time_point pressed = Clock::now();
	kiosk.Unit().PressKey(UnitSim::Key::Enter);
	Clock::time_point changed;
	bool seen = false;
	const Clock::time_point deadline = pressed + 5s;
	while (!seen && Clock::now() < deadline) {
		std::vector<uint32_t> now = reader.Read();
		changed = Clock::now();
		seen = !now.empty() && now != question;
		if (!seen)
			std::this_thread::sleep_for(1ms);
	}
	pulses.Stop();
	Clock::time_point announced;
	const bool printed = kiosk.Program().WaitForLine(kAnnouncementLine2, 5s) &&
	                     kiosk.Program().TimeOf(kAnnouncementLine2, &announced);
	kiosk.Stop();
	if (!seen || !printed) {
		AddNote(which + (printed ? "the screen never changed" : "no announcement"));
		return;
	}
	screen.pixels.push_back(Milliseconds(changed - announced));
	screen.unitKey.push_back(Milliseconds(announced - pressed));
	Clock::time_point pulse;
	if (pulses.PulseBefore(changed, &pulse) && pulse >= announced)
		screen.drawing.push_back(Milliseconds(changed - pulse));
	else
		AddNote(which + "no pulse of the window thread seen between the announcement "
		                         "and its pixels");
}

// The text area of a framebuffer snapshot as 0xRRGGBB; empty if the image is too small.
std::vector<uint32_t> TextArea(const ImageFiles::Image& image)
{
	std::vector<uint32_t> pixels;
	if (image.width < kTextLeft + kTextWidth || image.height < kTextTop + kTextHeight)
		return pixels;
	for (int y = kTextTop; y < kTextTop + kTextHeight; y++) {
		for (int x = kTextLeft; x < kTextLeft + kTextWidth; x++)
			pixels.push_back(image.At(x, y) & 0xffffff);
	}
	return pixels;
}

} // namespace

void MeasureXLatency(std::vector<XScreen>& screens)
{
	for (XScreen& screen : screens) {
		screen.reader = std::make_unique<TextAreaReader>(screen.server->DisplayName());
		if (!screen.reader->IsOpen())
			AddNote("X latency: cannot connect to " + screen.server->DisplayName());
	}
	for (int run = 0; run < kLatencyRuns; run++) {
		for (XScreen& screen : screens) {
			if (screen.reader->IsOpen())
				MeasureXLatencyOnce(screen, run);
		}
	}
}

void MeasureHeadless(std::vector<double>* snapshotBegun, std::vector<double>* snapshotDone,
                     std::vector<double>* key, std::vector<double>* resetToExit)
{
	for (int run = 0; run < kLatencyRuns; run++) {
		const std::string which = "headless run " + std::to_string(run) + ": ";
		Kiosk kiosk;
		FramebufferSnapshots snapshots(kiosk.Root().Join("screen.png"));
		std::string error;
		if (!kiosk.Start({{"BEOS_DISPLAY", "headless"}, {"BEOS_FRAMEBUFFER_PNG", snapshots.Path()}},
		                 kUnsetForHeadless, &error)) {
			AddNote(which + error);
			continue;
		}
		FramebufferSnapshots::Snapshot snapshot;
		std::vector<uint32_t> question = TextArea(ImageFiles::Load(snapshots.Path()));
		const auto showsText = [](const ImageFiles::Image& image) {
			return ShowsSecondLine(TextArea(image));
		};
		if (!ShowsSecondLine(question) &&
		    !snapshots.WaitFor(showsText, Clock::now() + 20s, &snapshot)) {
			AddNote(which + "no snapshot of the question");
			kiosk.Stop();
			continue;
		}
		if (!ShowsSecondLine(question))
			question = TextArea(snapshot.image);
		std::this_thread::sleep_for(100ms);
		snapshots.Drain();

		const Clock::time_point typed = Clock::now();
		kiosk.Program().Type("\r");
		Clock::time_point announced;
		const bool printed = kiosk.Program().WaitForLine(kAnnouncementLine2, 5s) &&
		                     kiosk.Program().TimeOf(kAnnouncementLine2, &announced);
		const auto showsAnnouncement = [&](const ImageFiles::Image& image) {
			const std::vector<uint32_t> pixels = TextArea(image);
			return ShowsSecondLine(pixels) && pixels != question;
		};
		const bool shown =
		    printed && snapshots.WaitFor(showsAnnouncement, Clock::now() + 5s, &snapshot);
		if (!printed) {
			AddNote(which + "no announcement");
			kiosk.Stop();
			continue;
		}
		key->push_back(Milliseconds(announced - typed));
		if (shown) {
			snapshotBegun->push_back(Milliseconds(snapshot.begun - announced));
			snapshotDone->push_back(Milliseconds(snapshot.done - announced));
		} else
			AddNote(which + "no snapshot of the announcement");

		if (run >= kResetRuns) {
			kiosk.Stop();
			continue;
		}
		Clock::time_point resetLine;
		Clock::time_point end;
		const bool reset = kiosk.Program().WaitForLine(kResetLine, 10s) &&
		                   kiosk.Program().TimeOf(kResetLine, &resetLine);
		const bool ended = reset && WaitForProcessEnd(kiosk.Program().Pid(), 10s, &end);
		if (ended && kiosk.Program().WaitForExit(5s) && kiosk.Program().Exited() &&
		    kiosk.Program().ExitCode() == 0)
			resetToExit->push_back(Milliseconds(end - resetLine));
		else
			AddNote(which + "no clean exit after the reset");
		kiosk.Stop();
	}
}

} // namespace ScreenBench
