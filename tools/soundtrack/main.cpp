// make_soundtrack SCORE_FILE OUTPUT_WAV
//
// Renders the score into the intro's music file: 22050 Hz, 16-bit stereo,
// exactly as long as the score's bars, the same bytes on every run.

#include "score.h"
#include "synth.h"
#include "wav.h"

#include "files/write_whole.h"
#include "intro_constants.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

namespace
{

	constexpr int sample_rate = kSoundtrackSampleRate;
	constexpr int channels = 2;
	constexpr double peak_dbfs = -1.0;

	int report(const std::string &message)
	{
		std::cerr << "make_soundtrack: " << message << '\n';
		return 1;
	}

}  // namespace

int main(int argc, char **argv)
{
	if(argc != 3)
	{
		std::cerr << "usage: make_soundtrack SCORE_FILE OUTPUT_WAV\n";
		return 2;
	}
	RemoveTemporaryOnSignals();
	const std::string score_path = argv[1];
	const std::string output_path = argv[2];

	std::error_code ignored;
	if(std::filesystem::is_directory(score_path, ignored))
	{
		return report("cannot read score '" + score_path + "': it is a directory");
	}
	std::ifstream in(score_path);
	if(!in)
	{
		return report("cannot read score '" + score_path + "': " + std::strerror(errno));
	}

	Score score;
	try
	{
		score = parse_score(in);
	}
	catch(const ScoreError &error)
	{
		const std::string where = error.line() > 0 ? score_path + ":" + std::to_string(error.line()) : score_path;
		return report(where + ": " + error.what());
	}
	if(in.bad())
	{
		return report("cannot read score '" + score_path + "': " + std::strerror(errno));
	}

	std::vector<unsigned char> wav;
	try
	{
		const StereoSignal song = render_score(score, sample_rate);
		wav = wav_bytes(to_pcm16(song, peak_dbfs), channels, sample_rate);
	}
	catch(const std::exception &error)
	{
		return report(error.what());
	}
	const WriteFailure failure = WriteFileWhole(output_path, wav.data(), wav.size());
	if(!failure.reason.empty())
	{
		return report("cannot write '" + failure.path + "': " + failure.reason);
	}
	return 0;
}
