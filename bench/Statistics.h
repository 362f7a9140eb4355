#pragma once

// The few statistics the benchmarks report. Header only, as BenchFigures.h.

#include <algorithm>
#include <cmath>
#include <vector>

namespace VelmoBench {

// The middle value, or the mean of the two middle ones; NaN when there are none.
inline double Median(std::vector<double> values)
{
	if (values.empty())
		return NAN;
	std::sort(values.begin(), values.end());
	const size_t middle = values.size() / 2;
	return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Nearest rank: the smallest value with at least `fraction` of the values at or below it (of
// 10 values, the 0.95 and 0.99 quantiles are the largest); NaN when there are none.
inline double Quantile(std::vector<double> values, double fraction)
{
	if (values.empty())
		return NAN;
	std::sort(values.begin(), values.end());
	const size_t rank = (size_t)std::ceil(fraction * (double)values.size());
	return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

} // namespace VelmoBench
