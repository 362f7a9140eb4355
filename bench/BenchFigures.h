#pragma once

// The figures of one `make bench` run. Every benchmark program records its headline figures as
// lines "name<TAB>value" in the file VELMO_BENCH_FIGURES names (scripts/run-benchmarks sets it);
// VelmoFiguresTable then sets each figure beside its reference in one table. Without the
// variable nothing is recorded, so a benchmark run by hand prints only its own report. The
// names carry their unit ("_ms", "_us", "_percent", "_kib"); the table's program lists them.
// Header only: the benchmarks link no library of their own.

#include <stdio.h>
#include <stdlib.h>

#include <cmath>
#include <string>

namespace VelmoBench {

// Appends one figure; a figure that could not be measured (NaN) is left out, and the table says
// so.
inline void RecordFigure(const std::string& name, double value)
{
	const char* path = getenv("VELMO_BENCH_FIGURES");
	if (path == nullptr || path[0] == '\0' || std::isnan(value))
		return;
	FILE* file = fopen(path, "a");
	if (file == nullptr) {
		fprintf(stderr, "cannot record %s in %s\n", name.c_str(), path);
		return;
	}
	fprintf(file, "%s\t%.6g\n", name.c_str(), value);
	fclose(file);
}

} // namespace VelmoBench
