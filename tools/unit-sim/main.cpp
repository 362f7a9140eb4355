// velmo-unit-sim: a simulated remote unit on a pseudo-terminal, for demos and system tests.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "unit-sim/UnitSimulator.h"

using namespace UnitSim;

namespace {

const char* const kUsage =
    "usage: velmo-unit-sim --root DIR [--name NAME] [--model km3|km3ii] [--wire-timing]\n"
    "                      [--auto-enter SECONDS] [--misbehave MODE] [--late-ms N]\n"
    "                      [--press-polls N]\n"
    "  Links a pseudo-terminal as DIR/dev/ports/NAME (default serial1) and answers on it as\n"
    "  the remote unit does, printing its LCD as it changes.\n"
    "  MODE: silence header checksum garbage long late unsolicited hangup\n"
    "        latency-timer[=MS] (behind a USB adapter whose latency timer is MS, default 16)\n"
    "  Keys from a terminal: Enter, \\ (backslash), h (hang up), r (remove: unplug),\n"
    "  p (plug back in under the same name), b (blank the LCD, as a unit switched off and on),\n"
    "  q or Ctrl-C (quit).\n"
    "  Lines from other input: enter, backslash, hangup, remove, plug, blank, quit.\n";

volatile sig_atomic_t sStopSignal = 0;
int sSignalPipe = -1;

void HandleStopSignal(int number)
{
	sStopSignal = number;
	int savedErrno = errno;
	char byte = 1;
	if (write(sSignalPipe, &byte, 1) < 0) {
	}
	errno = savedErrno;
}

struct Arguments
{
	std::string root;
	std::string name = "serial1";
	Options options;
	double autoEnterSeconds = -1;
	bool hangUpAtStart = false;
	Misbehaviour misbehaviour = Misbehaviour::None;
};

bool ParseMisbehaviour(const std::string& text, Arguments* arguments)
{
	static const struct
	{
		const char* name;
		Misbehaviour misbehaviour;
	} kModes[] = {
	    {"silence", Misbehaviour::Silence},         {"header", Misbehaviour::WrongHeader},
	    {"checksum", Misbehaviour::BadChecksum},    {"garbage", Misbehaviour::Garbage},
	    {"long", Misbehaviour::LongReply},          {"late", Misbehaviour::LateReply},
	    {"unsolicited", Misbehaviour::Unsolicited},
	};
	const std::string timer = "latency-timer";
	if (text.compare(0, timer.size(), timer) == 0) {
		int period = 16;
		if (text.size() > timer.size()) {
			if (text[timer.size()] != '=')
				return false;
			period = atoi(text.c_str() + timer.size() + 1);
			if (period <= 0)
				return false;
		}
		arguments->options.latencyTimer = std::chrono::milliseconds(period);
		return true;
	}
	if (text == "hangup") {
		arguments->hangUpAtStart = true;
		return true;
	}
	for (const auto& mode : kModes) {
		if (text == mode.name) {
			arguments->misbehaviour = mode.misbehaviour;
			return true;
		}
	}
	return false;
}

bool ParseArguments(int argc, char** argv, Arguments* arguments)
{
	for (int index = 1; index < argc; index++) {
		std::string option = argv[index];
		if (option == "--wire-timing") {
			arguments->options.wireTiming = true;
			continue;
		}
		if (option == "--help" || index + 1 >= argc)
			return false;
		std::string value = argv[++index];
		if (option == "--root")
			arguments->root = value;
		else if (option == "--name")
			arguments->name = value;
		else if (option == "--model" && (value == "km3" || value == "km3ii"))
			arguments->options.model = value == "km3" ? Model::Km3 : Model::Km3II;
		else if (option == "--auto-enter")
			arguments->autoEnterSeconds = atof(value.c_str());
		else if (option == "--late-ms")
			arguments->options.lateReplyDelay = std::chrono::milliseconds(atoi(value.c_str()));
		else if (option == "--press-polls")
			arguments->options.pressPolls = atoi(value.c_str());
		else if (option == "--misbehave") {
			if (!ParseMisbehaviour(value, arguments))
				return false;
		} else
			return false;
	}
	return !arguments->root.empty() && arguments->name.find('/') == std::string::npos;
}

// Puts the terminal on stdin into single-key mode for the life of the object. Output processing
// stays on, so the printed lines still end their lines.
class KeyboardMode
{
public:
	KeyboardMode()
	{
		if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &fSaved) != 0)
			return;
		struct termios raw = fSaved;
		raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
		raw.c_iflag &= ~(ICRNL | INLCR | IXON);
		raw.c_cc[VMIN] = 1;
		raw.c_cc[VTIME] = 0;
		fActive = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
	}
	~KeyboardMode()
	{
		if (fActive)
			tcsetattr(STDIN_FILENO, TCSANOW, &fSaved);
	}
	bool IsActive() const { return fActive; }

private:
	struct termios fSaved;
	bool fActive = false;
};

enum class Command
{
	None,
	Enter,
	Backslash,
	HangUp,
	Remove,
	PlugBack,
	Blank,
	Quit
};

Command CommandForKey(char key)
{
	switch (key) {
	case '\r':
	case '\n':
		return Command::Enter;
	case '\\':
		return Command::Backslash;
	case 'h':
		return Command::HangUp;
	case 'r':
		return Command::Remove;
	case 'p':
		return Command::PlugBack;
	case 'b':
		return Command::Blank;
	case 'q':
	case 3:
	case 4:
		return Command::Quit;
	default:
		return Command::None;
	}
}

Command CommandForLine(const std::string& line)
{
	if (line == "enter")
		return Command::Enter;
	if (line == "backslash")
		return Command::Backslash;
	if (line == "hangup")
		return Command::HangUp;
	if (line == "remove")
		return Command::Remove;
	if (line == "plug")
		return Command::PlugBack;
	if (line == "blank")
		return Command::Blank;
	if (line == "quit")
		return Command::Quit;
	return Command::None;
}

// Carries out a command; false when it asks to quit.
bool Perform(Command command, UnitSimulator& unit)
{
	switch (command) {
	case Command::Enter:
		unit.PressKey(Key::Enter);
		printf("KEY ENTER\n");
		break;
	case Command::Backslash:
		unit.PressKey(Key::Backslash);
		printf("KEY BACKSLASH\n");
		break;
	case Command::HangUp:
		unit.HangUp();
		printf("UNIT hung up\n");
		break;
	case Command::Remove:
		unit.Remove();
		printf("UNIT removed\n");
		break;
	case Command::PlugBack: {
		std::string error;
		if (unit.PlugBack(&error))
			printf("UNIT plugged back %s\n", unit.SlavePath().c_str());
		else
			printf("UNIT not plugged back: %s\n", error.c_str());
		break;
	}
	case Command::Blank:
		unit.BlankLcd();
		printf("UNIT blanked its LCD\n");
		break;
	case Command::Quit:
		return false;
	case Command::None:
		break;
	}
	fflush(stdout);
	return true;
}

} // namespace

int main(int argc, char** argv)
{
	Arguments arguments;
	if (!ParseArguments(argc, argv, &arguments)) {
		fputs(kUsage, stderr);
		return 2;
	}

	int signalPipe[2];
	if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
		perror("velmo-unit-sim: pipe");
		return 1;
	}
	sSignalPipe = signalPipe[1];
	struct sigaction action = {};
	action.sa_handler = HandleStopSignal;
	sigemptyset(&action.sa_mask);
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);
	signal(SIGPIPE, SIG_IGN);

	UnitSimulator unit(arguments.root, arguments.name, arguments.options);
	unit.SetMisbehaviour(arguments.misbehaviour);
	std::string error;
	if (!unit.Start(&error)) {
		fprintf(stderr, "velmo-unit-sim: %s\n", error.c_str());
		return 1;
	}
	printf("UNIT ready %s (%s)\n", unit.LinkPath().c_str(), ModelName(arguments.options.model));
	printf("UNIT line %s\n", unit.SlavePath().c_str());
	fflush(stdout);
	if (arguments.hangUpAtStart)
		Perform(Command::HangUp, unit);

	KeyboardMode keyboard;
	bool readInput = true;
	std::string pendingLine;
	std::pair<std::string, std::string> shown;
	bool promptSeen = false;
	Clock::time_point autoEnterAt;
	bool running = true;
	while (running && sStopSignal == 0) {
		struct pollfd entries[2] = {{signalPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
		int result = poll(entries, readInput ? 2 : 1, 20);
		if (result > 0 && readInput && (entries[1].revents & (POLLIN | POLLHUP)) != 0) {
			char buffer[256];
			ssize_t length = read(STDIN_FILENO, buffer, sizeof(buffer));
			if (length <= 0 && !(length < 0 && (errno == EINTR || errno == EAGAIN)))
				readInput = false;
			for (ssize_t index = 0; index < length && running; index++) {
				if (keyboard.IsActive()) {
					running = Perform(CommandForKey(buffer[index]), unit);
				} else if (buffer[index] == '\n') {
					running = Perform(CommandForLine(pendingLine), unit);
					pendingLine.clear();
				} else if (buffer[index] != '\r') {
					pendingLine.push_back(buffer[index]);
				}
			}
		}

		std::pair<std::string, std::string> lines = unit.LcdLines();
		if (lines != shown && unit.LcdFrameCount() > 0) {
			shown = lines;
			printf("LCD |%s|%s|\n", lines.first.c_str(), lines.second.c_str());
			fflush(stdout);
			if (!promptSeen && (lines.first + lines.second).find("ENTER") != std::string::npos) {
				promptSeen = true;
				autoEnterAt =
				    Clock::now() + std::chrono::duration_cast<Clock::duration>(
				                       std::chrono::duration<double>(arguments.autoEnterSeconds));
			}
		}
		if (promptSeen && arguments.autoEnterSeconds >= 0 && Clock::now() >= autoEnterAt) {
			arguments.autoEnterSeconds = -1;
			Perform(Command::Enter, unit);
		}
	}

	unit.Stop();
	printf("UNIT exiting\n");
	fflush(stdout);
	close(signalPipe[0]);
	close(signalPipe[1]);
	return 0;
}
