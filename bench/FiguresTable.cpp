// Sets the figures one `make bench` run recorded (see BenchFigures.h) beside their references,
// measured in the same run where they are measured at all, and prints them as one markdown
// table in a fixed order: figure, measured, reference, aim, verdict. A figure that was not
// recorded reads "not measured".
//
//     VelmoFiguresTable FIGURES-FILE

#include <stdio.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef std::map<std::string, double> Figures;

const double kPulseMs = 50.0;
const double kBeosDefaultPulseMs = 500.0;
const double kStartAimMs = 150.0;
// The program's CPU while asking against the minimal loop's.
const double kCpuAimRatio = 1.3;
const double kPassAimRatio = 1.05;
const double kPingPongAimRatio = 1.5;
// A screen larger than the frame against one of the frame's size.
const double kLargerScreenAimRatio = 1.05;
// How often ScreenBench samples the window thread's wakes to find the pulse.
const double kPulseSampleMs = 0.2;
// The USB adapter's latency timer in the field benchmark.
const double kAdapterTimerMs = 16.0;

Figures ReadFigures(const char* path)
{
	Figures figures;
	std::ifstream file(path);
	std::string line;
	while (std::getline(file, line)) {
		const size_t tab = line.find('\t');
		if (tab == std::string::npos)
			continue;
		try {
			figures[line.substr(0, tab)] = std::stod(line.substr(tab + 1));
		} catch (...) {
			continue;
		}
	}
	return figures;
}

std::string Fixed(double value, int decimals)
{
	char text[64];
	snprintf(text, sizeof(text), "%.*f", decimals, value);
	return text;
}

class Table
{
public:
	explicit Table(Figures figures) : fFigures(std::move(figures)) {}

	bool Has(const std::string& name) const { return fFigures.count(name) > 0; }
	double Get(const std::string& name) const
	{
		auto found = fFigures.find(name);
		return found == fFigures.end() ? NAN : found->second;
	}

	// A latency as "median / upper unit" against `limit`: met when both are within it (the
	// median alone when `medianOnly`). `note`, when given, follows the figures in brackets.
	// `limitMissed`, when given, is the verdict for a limit of NaN: the figures are there, but
	// something they depend on already missed.
	void Latency(const std::string& figure, const std::string& prefix, const char* upper,
	             double limit, const std::string& reference, const std::string& aim,
	             const std::string& note = "", const std::string& limitMissed = "",
	             bool medianOnly = false)
	{
		const std::string medianName = prefix + "_median_ms";
		const std::string upperName = prefix + "_" + upper + "_ms";
		if (!Has(medianName) || !Has(upperName) || (std::isnan(limit) && limitMissed.empty())) {
			Missing(figure, reference, aim);
			return;
		}
		const double median = Get(medianName);
		const double high = Get(upperName);
		std::string measured = Precise(median) + " / " + Precise(high) + " ms";
		if (!note.empty())
			measured += " (" + note + ")";
		// Both within: met; the median alone: the upper figure is what missed.
		std::string verdict = "missed";
		if (std::isnan(limit))
			verdict = limitMissed;
		else if (median <= limit && (high <= limit || medianOnly))
			verdict = "met";
		else if (median <= limit)
			verdict = std::string("missed (") + upper + ")";
		Row(figure, measured, reference, aim, verdict);
	}

	void Row(const std::string& figure, const std::string& measured, const std::string& reference,
	         const std::string& aim, const std::string& verdict)
	{
		fRows.push_back({figure, measured, reference, aim, verdict});
	}

	void Missing(const std::string& figure, const std::string& reference, const std::string& aim)
	{
		Row(figure, "not measured", reference, aim, "—");
	}

	// Milliseconds with one decimal, or two below 10.
	static std::string Precise(double milliseconds)
	{
		return Fixed(milliseconds, milliseconds < 10 ? 2 : 1);
	}

	void Print() const
	{
		printf("| figure | measured | reference | aim | verdict |\n");
		printf("|---|---|---|---|---|\n");
		for (const auto& row : fRows) {
			printf("| %s | %s | %s | %s | %s |\n", row[0].c_str(), row[1].c_str(), row[2].c_str(),
			       row[3].c_str(), row[4].c_str());
		}
	}

private:
	Figures fFigures;
	std::vector<std::vector<std::string>> fRows;
};

const char* Verdict(bool met)
{
	return met ? "met" : "missed";
}

struct Model
{
	const char* key;
	const char* name;
};

const Model kModels[] = {{"km3", "Classic KM-3"}, {"km3ii", "KM-3II"}};

void PassRows(Table& table)
{
	for (const Model& model : kModels) {
		const std::string prefix = std::string("remote.") + model.key;
		const std::string figure =
		    std::string("pass period at 57600 bit/s, ") + model.name + ", median";
		const std::string aim = "within 5 % of the floor";
		const double median = table.Get(prefix + ".pass_median_ms");
		const double floor = table.Get(prefix + ".floor_ms");
		if (std::isnan(median) || std::isnan(floor)) {
			table.Missing(figure, "physical floor", aim);
			continue;
		}
		// Under the floor is no better: such passes read a reply that was already waiting, the
		// one an earlier poll's read had timed out on, so the link runs a reply behind.
		const double ratio = median / floor;
		std::string measured = Fixed(median, 1) + " ms (" + Fixed(ratio, 3) + " × floor";
		if (table.Has(prefix + ".passes"))
			measured += "; " + Fixed(table.Get(prefix + ".passes_under_floor"), 0) + " of " +
			            Fixed(table.Get(prefix + ".passes"), 0) + " passes under it";
		measured += ")";
		table.Row(figure, measured,
		          "physical floor (20 ms + bytes × 10 bit times): " + Fixed(floor, 1) + " ms", aim,
		          Verdict(std::fabs(ratio - 1) <= kPassAimRatio - 1));
	}
}

void RemoteKeyRows(Table& table)
{
	for (const char* where : {"terminal", "LCD"}) {
		for (const Model& model : kModels) {
			const std::string prefix = std::string("remote.") + model.key;
			const double pass = table.Get(prefix + ".pass_median_ms");
			const std::string reference = std::isnan(pass)
			                                  ? "one pass period (not measured)"
			                                  : "one pass period: " + Fixed(pass, 1) + " ms";
			// The LCD gets the announcement with the next pass's text, after the pause: a whole
			// pass after the key by construction, so its p99 is the pass's own jitter. A text a
			// pass late would show in the median, which is judged.
			const bool lcd = where[0] == 'L';
			table.Latency(std::string("unit's ENTER → announcement on the ") + where + ", " +
			                  model.name + ", median / p99",
			              prefix + ".key_" + (lcd ? "lcd" : "terminal"), "p99", pass, reference,
			              lcd ? "median within one pass" : "within one pass", "", "", lcd);
		}
	}
}

// The unit in the field: after replies 40 ms late, and behind a USB adapter's latency timer. Each
// beside the line's floor, and the in-step pass of the same run.
void FieldRows(Table& table)
{
	struct Condition
	{
		const char* key;
		const char* name;
		// Limits in floors: the terminal's; the LCD's is one pass more, as the announcement is
		// sent to it at the start of the next pass.
		double terminalFloors;
		// The share of runs whose ENTER must be read by the poll whose reply carried it.
		double ownPollShare;
		const char* terminalAim;
		const char* lcdAim;
	};
	// Behind the adapter a reply the timer hands over after the read time-out is read by the next
	// poll, still well within a floor of the press: the phase of the press against the timer
	// decides, one run in ten or so. A link stuck a reply behind has every run so.
	const Condition conditions[] = {
	    {"late", "after 10 replies 40 ms late", 1, 1.0,
	     "read by its own poll in every run, within one floor", "within two floors"},
	    {"adapter", "behind a 16 ms latency-timer adapter", 1, 0.8,
	     "read by its own poll in 8 of 10 runs or more, within one floor", "within two floors"},
	};
	for (const Condition& condition : conditions) {
		for (const Model& model : kModels) {
			const std::string prefix = std::string("remote.") + model.key + "." + condition.key;
			const double floor = table.Get(std::string("remote.") + model.key + ".floor_ms");
			const double inStep = table.Get(std::string("remote.") + model.key + ".pass_median_ms");
			std::string reference = std::isnan(floor) ? "line's floor (not measured)"
			                                          : "line's floor: " + Fixed(floor, 1) + " ms";
			if (!std::isnan(inStep))
				reference += "; in step, this run: " + Fixed(inStep, 1) + " ms";

			const std::string passFigure =
			    std::string("pass period ") + condition.name + ", " + model.name + ", median";
			const double median = table.Get(prefix + ".pass_median_ms");
			const bool late = condition.key[0] == 'l';
			const std::string passAim =
			    late ? "within 5 % of the floor" : "within the floor + one timer period";
			if (std::isnan(median) || std::isnan(floor)) {
				table.Missing(passFigure, reference, passAim);
			} else {
				std::string measured =
				    Fixed(median, 1) + " ms (" + Fixed(median / floor, 3) + " × floor; " +
				    Fixed(table.Get(prefix + ".passes_under_floor"), 0) + " of " +
				    Fixed(table.Get(prefix + ".passes"), 0) + " passes under it; " +
				    Fixed(table.Get(prefix + ".rejected_replies"), 0) + " of " +
				    Fixed(table.Get(prefix + ".polls"), 0) + " replies rejected)";
				const bool met = late ? std::fabs(median / floor - 1) <= kPassAimRatio - 1
				                      : median <= floor + kAdapterTimerMs;
				table.Row(passFigure, measured, reference, passAim, Verdict(met));
			}

			// A link a reply behind still announces within a floor or two of the press: what
			// shows it is the ENTER read by the poll after its own, so that count is judged.
			const bool counted =
			    table.Has(prefix + ".runs") && table.Has(prefix + ".keys_read_in_step");
			const double runs = table.Get(prefix + ".runs");
			const double ownPoll = table.Get(prefix + ".keys_read_in_step");
			const std::string inStepNote =
			    counted ? Fixed(ownPoll, 0) + " of " + Fixed(runs, 0) + " read by their own poll"
			            : "";
			table.Latency(std::string("unit's ENTER → announcement on the terminal ") +
			                  condition.name + ", " + model.name + ", median / max",
			              prefix + ".key_terminal", "max",
			              counted && runs > 0 && ownPoll >= condition.ownPollShare * runs
			                  ? condition.terminalFloors * floor
			                  : NAN,
			              reference, condition.terminalAim, inStepNote,
			              counted ? "missed (a reply behind)" : "");
			table.Latency(std::string("unit's ENTER → announcement on the LCD ") + condition.name +
			                  ", " + model.name + ", median / max",
			              prefix + ".key_lcd", "max", (condition.terminalFloors + 1) * floor,
			              reference, condition.lcdAim);
		}
	}
}

void ScreenRows(Table& table)
{
	table.Latency("Enter on the keyboard → announcement, median / p99", "screen.keyboard", "p99",
	              kPulseMs, "one pulse period: 50 ms", "within one pulse");
	const std::pair<const char*, const char*> screens[] = {
	    {"1024 × 768", "screen.x_pixels"}, {"1920 × 1080", "screen.x_pixels_1080p"}};
	for (const auto& [size, prefix] : screens) {
		table.Latency(
		    std::string("message change → pixels on the X server, ") + size + ", median / p95",
		    prefix, "p95", kPulseMs,
		    "one pulse period: 50 ms; BeOS's default pulse: " + Fixed(kBeosDefaultPulseMs, 0) +
		        " ms",
		    "within one pulse");
	}
}

// A figure in milliseconds as a reference gives it, or "not measured".
std::string MsOrNotMeasured(double ms)
{
	return std::isnan(ms) ? std::string("not measured") : Table::Precise(ms) + " ms";
}

// The program owning a 1920 x 1080 screen (the frame at its top-left, black around it) against
// one of the frame's own size, measured in the same run: latency runs alternated between the two
// servers, CPU over the same seconds.
void LargerScreenRows(Table& table)
{
	const std::string aim = "≤ " + Fixed(kLargerScreenAimRatio, 2) + "× (a few per cent)";
	for (const char* upper : {"median", "p95"}) {
		const std::string figure =
		    std::string("message change → pixels, 1920 × 1080 beside 1024 × 768, ") + upper;
		const double large = table.Get(std::string("screen.x_pixels_1080p_") + upper + "_ms");
		const double small = table.Get(std::string("screen.x_pixels_") + upper + "_ms");
		// Both wait for the same 50 ms pulse at a phase of chance: that wait, not the screen,
		// moves a median of 10 runs by several milliseconds.
		const std::string reference =
		    "1024 × 768, runs alternated with these: " + MsOrNotMeasured(small) +
		    " (both include the wait for the next pulse)";
		if (std::isnan(large) || std::isnan(small) || small <= 0) {
			table.Missing(figure, reference, "—");
			continue;
		}
		// No aim, so no verdict: across runs this ratio swings from 0.6 to 1.5 with the pulse's
		// phase alone. The row below takes the pulse's wait out and is judged.
		table.Row(figure, Table::Precise(large) + " ms (" + Fixed(large / small, 3) + " ×)",
		          reference, "— (chance; see the pulse → pixels row)", "—");
	}
	// What the screen can change comes after the pulse: drawing and showing, set against the
	// same on the frame-sized screen. The pulse is found by sampling every 0.2 ms, so a
	// difference within that step is no cost.
	{
		const std::string figure =
		    "pulse → pixels (drawing and showing), 1920 × 1080 beside 1024 × 768, median";
		const double large = table.Get("screen.x_pulse_pixels_1080p_median_ms");
		const double small = table.Get("screen.x_pulse_pixels_median_ms");
		const std::string reference = "1024 × 768: " + MsOrNotMeasured(small);
		const std::string pulseAim = aim + ", or within the 0.2 ms the pulse is sampled at";
		if (std::isnan(large) || std::isnan(small) || small <= 0) {
			table.Missing(figure, reference, pulseAim);
		} else {
			const double ratio = large / small;
			table.Row(figure,
			          Table::Precise(large) + " ms (" + (large >= small ? "+" : "−") +
			              Table::Precise(std::fabs(large - small)) + " ms: " + Fixed(ratio, 3) +
			              " ×)",
			          reference, pulseAim,
			          Verdict(ratio <= kLargerScreenAimRatio || large - small <= kPulseSampleMs));
		}
	}
	const std::string figure = "CPU while asking, SDL window on Xvfb 1920 × 1080 beside 1024 × 768";
	const double large = table.Get("screen.cpu_x_1080p_percent");
	const double small = table.Get("screen.cpu_x_percent");
	const std::string reference =
	    "1024 × 768, the same seconds: " +
	    (std::isnan(small) ? std::string("not measured") : Fixed(small, 2) + " %");
	if (std::isnan(large) || std::isnan(small) || small <= 0)
		table.Missing(figure, reference, aim);
	else
		table.Row(figure, Fixed(large, 2) + " % of one core (" + Fixed(large / small, 3) + " ×)",
		          reference, aim, Verdict(large / small <= kLargerScreenAimRatio));
}

void ResetRows(Table& table)
{
	for (const Model& model : kModels) {
		const std::string prefix = std::string("remote.") + model.key;
		const double pass = table.Get(prefix + ".pass_median_ms");
		const std::string reference = std::isnan(pass)
		                                  ? "two pass periods (not measured)"
		                                  : "two pass periods: " + Fixed(2 * pass, 1) + " ms";
		table.Latency(std::string("reset line → process exit, ") + model.name +
		                  " attached, median / max",
		              prefix + ".reset_exit", "max", 2 * pass, reference, "within two passes");
	}
}

void ResourceRows(Table& table)
{
	const std::pair<const char*, const char*> places[] = {
	    {"headless", "headless"},
	    {"x", "SDL window on Xvfb 1024 × 768"},
	    {"x_1080p", "SDL window on Xvfb 1920 × 1080"}};
	const std::string aim = "within " + Fixed(kCpuAimRatio, 1) + " × the loop";
	for (const auto& [key, name] : places) {
		const std::string figure = std::string("CPU while asking, ") + name;
		const double cpu = table.Get(std::string("screen.cpu_") + key + "_percent");
		const double loop = table.Get(std::string("screen.loop_cpu_") + key + "_percent");
		const double polls = table.Get(std::string("screen.polls_") + key + "_per_s");
		const double loopPolls = table.Get(std::string("screen.loop_polls_") + key + "_per_s");
		std::string reference = "a minimal loop asking in the same protocol, the same seconds";
		if (!std::isnan(loop)) {
			reference += ": " + Fixed(loop, 2) + " %";
			if (!std::isnan(loopPolls))
				reference += " (" + Fixed(loopPolls, 0) + " polls/s)";
		} else
			reference += " (not measured)";
		if (std::isnan(cpu) || std::isnan(loop) || loop <= 0) {
			table.Missing(figure, reference, aim);
			continue;
		}
		std::string measured =
		    Fixed(cpu, 2) + " % of one core (" + Fixed(cpu / loop, 2) + " × the loop";
		if (!std::isnan(polls))
			measured += "; " + Fixed(polls, 0) + " polls/s";
		const double thread = table.Get(std::string("screen.ui_thread_cpu_") + key + "_percent");
		if (!std::isnan(thread))
			measured += "; its remote-unit thread alone " + Fixed(thread, 2) + " %, " +
			            Fixed(thread / loop, 2) + " ×";
		measured += ")";
		table.Row(figure, measured, reference, aim, Verdict(cpu <= loop * kCpuAimRatio));
	}
	for (const auto& [key, name] : places) {
		const std::string figure = std::string("resident memory while asking, ") + name;
		const double kib = table.Get(std::string("screen.rss_") + key + "_kib");
		if (std::isnan(kib))
			table.Missing(figure, "—", "—");
		else
			table.Row(figure, Fixed(kib / 1024.0, 1) + " MiB", "—", "—", "—");
	}
}

void StartRows(Table& table)
{
	const std::pair<const char*, const char*> places[] = {
	    {"screen", "painted in the framebuffer"}, {"lcd", "on the unit's LCD (57600 bit/s)"}};
	for (const auto& [key, name] : places) {
		const std::string figure = std::string("start → first question ") + name + ", median";
		const double ms = table.Get(std::string("startup.") + key + "_median_ms");
		if (std::isnan(ms))
			table.Missing(figure, "—", "< 150 ms");
		else
			table.Row(figure, Fixed(ms, 1) + " ms", "—", "< 150 ms", Verdict(ms < kStartAimMs));
	}
}

void KernelRows(Table& table)
{
	const double bare = table.Get("kernel.bare_median_us");
	const std::string reference =
	    std::isnan(bare) ? "bare mutex + condition variable (not measured)"
	                     : "bare mutex + condition variable: " + Fixed(bare, 2) + " µs";
	const std::pair<const char*, const char*> kinds[] = {{"port", "port"},
	                                                     {"semaphore", "semaphore"}};
	for (const auto& [key, name] : kinds) {
		const std::string figure =
		    std::string("kernel ") + name + " ping-pong between two threads, median";
		const double us = table.Get(std::string("kernel.") + key + "_median_us");
		const std::string aim = "< 1.5 × the reference";
		if (std::isnan(us) || std::isnan(bare))
			table.Missing(figure, reference, aim);
		else
			table.Row(figure, Fixed(us, 2) + " µs (" + Fixed(us / bare, 2) + " ×)", reference, aim,
			          Verdict(us < bare * kPingPongAimRatio));
	}
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: VelmoFiguresTable FIGURES-FILE\n");
		return 2;
	}
	Table table(ReadFigures(argv[1]));
	PassRows(table);
	RemoteKeyRows(table);
	FieldRows(table);
	ScreenRows(table);
	LargerScreenRows(table);
	ResetRows(table);
	ResourceRows(table);
	StartRows(table);
	KernelRows(table);
	table.Print();
	return 0;
}
