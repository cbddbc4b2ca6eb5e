// The cost of sync tracks at a large size, 100 tracks of 1000 keys each over
// the piece's 135 s: every track's value for one frame, stepping 1/60 s per
// call as the frame loop does; reading the file (100000 lines); and one edit
// as the studio makes it on a key press (the edit with its undo snapshot, the
// text to save and the tracks taken afresh).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tracks/track_edit.h"
#include "tracks/tracks.h"

namespace
{
	const int kTracks = 100;
	const int kKeys = 1000;
	const double kSeconds = 135.0;
	const Interpolation kInterpolations[] = {Interpolation::Step, Interpolation::Linear, Interpolation::Smooth,
	                                         Interpolation::Ramp};

	// The file: each track's keys at evenly spread times with a per-track
	// offset, values and interpolations varying, the tracks interleaved.
	std::string TracksText()
	{
		std::string text = "# 100 tracks of 1000 keys\n";
		const int64_t spacing = static_cast<int64_t>(kSeconds * 1000.0) / kKeys;
		for(int key = 0; key < kKeys; ++key)
			for(int track = 0; track < kTracks; ++track)
				text += FormatKeyFields("track" + std::to_string(track),
				                        {key * spacing + track, static_cast<float>((key * 7 + track) % 13) * 0.25f,
				                         kInterpolations[(key + track) % 4]}) +
				        "\n";
		return text;
	}

	TrackDocument Document(const std::string &text)
	{
		ParsedTracks parsed = ParseTracks(text, {"iTime"});
		if(!parsed.errors.empty())
			std::abort();
		return std::move(parsed.document);
	}

	void EvaluateFrame(benchmark::State &state)
	{
		const std::vector<Track> tracks = DocumentTracks(Document(TracksText()));
		std::vector<float> values;
		int frame = 0;
		for(auto _ : state)
		{
			EvaluateTracks(tracks, frame / 60.0, values);
			benchmark::DoNotOptimize(values.data());
			benchmark::ClobberMemory();
			frame = (frame + 1) % static_cast<int>(kSeconds * 60.0);
		}
	}

	void ReadFile(benchmark::State &state)
	{
		const std::string text = TracksText();
		for(auto _ : state)
		{
			ParsedTracks parsed = ParseTracks(text, {"iTime"});
			benchmark::DoNotOptimize(parsed.document.lines.data());
		}
	}

	void EditKey(benchmark::State &state)
	{
		TrackEditor editor{Document(TracksText()), {}, {}};
		for(auto _ : state)
		{
			// A new key in the middle of the file.
			SetKeyValue(editor, "track50", 67.5, 1.0f);
			const std::string text = SerialiseTracks(editor.document);
			const std::vector<Track> tracks = DocumentTracks(editor.document);
			benchmark::DoNotOptimize(text.data());
			benchmark::DoNotOptimize(tracks.data());
			// Keeps the history at one document; taking it back costs a move.
			state.PauseTiming();
			Undo(editor);
			state.ResumeTiming();
		}
	}
}

BENCHMARK(EvaluateFrame);
BENCHMARK(ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(EditKey)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
