// The intro's music: see Audio.h.
#include "Audio.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "intro_constants.h"
#include "sound/sound_file.h"

const char *const MY_COOL_MP3 = kSoundtrackFile;

namespace
{
	Mix_Music *music_ptr = nullptr;

	const int kFrequency = kSoundtrackSampleRate;
	const Uint16 kFormat = AUDIO_S16LSB;
	const int kChannels = 2;
	const int kChunkSize = 640;

	// The soundtrack handed to the mixer, or null with the reason it was
	// not; and the line for a file that holds less than its header promises
	// (SoundFileShortfall), which still plays.
	struct SoundtrackLoading
	{
		Mix_Music *music = nullptr;
		Error error;
		std::string shortfall;
	};

	// Opens the soundtrack and hands it to the mixer. Only a regular file is
	// taken, opened without waiting, and libsndfile reads its header first:
	// the mixer's own reader divides by the channel count it finds there.
	// The mixer then reads the very file that was checked.
	SoundtrackLoading LoadSoundtrack(const char *path)
	{
		SoundtrackLoading loading;
		SoundFile sound = OpenSoundFile(path);
		if(sound.error)
		{
			loading.error = sound.error;
			return loading;
		}
		loading.shortfall = SoundFileShortfall(path, sound.file);
		sound.reader.reset();
		const int descriptor = sound.file.Release();
		FILE *stream = lseek(descriptor, 0, SEEK_SET) == 0 ? fdopen(descriptor, "rb") : nullptr;
		if(!stream)
		{
			loading.error = Error{std::strerror(errno)};
			close(descriptor);
			return loading;
		}
		SDL_RWops *source = SDL_RWFromFP(stream, SDL_TRUE);
		if(!source)
		{
			loading.error = Error{SDL_GetError()};
			std::fclose(stream);
			return loading;
		}
		loading.music = Mix_LoadMUS_RW(source, 1);
		if(!loading.music)
			loading.error = Error{Mix_GetError()};
		return loading;
	}
}

void load_music()
{
	// SDL would otherwise turn SIGINT and SIGTERM into quit events that
	// nothing here reads, and Ctrl-C or kill would no longer end the intro.
	SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
	if(SDL_Init(SDL_INIT_AUDIO) < 0)
	{
		std::printf("Failed to init SDL\n");
		std::fflush(stdout);
		std::exit(1);
	}

	// A WAV file needs none of the mixer's optional decoders.
	const int requested = 0;
	const int initialised = Mix_Init(requested);
	if(initialised != requested)
	{
		std::printf("Could not initialize mixer (result: %d).\n", initialised);
		std::printf("Mix_Init: %s\n", Mix_GetError());
		std::fflush(stdout);
		std::exit(1);
	}

	if(Mix_OpenAudio(kFrequency, kFormat, kChannels, kChunkSize) < 0)
		std::cerr << "Could not open the audio device: " << SDL_GetError() << std::endl;

	const SoundtrackLoading loading = LoadSoundtrack(MY_COOL_MP3);
	music_ptr = loading.music;
	if(!music_ptr)
	{
		std::cerr << "Error loading music: " << MY_COOL_MP3 << std::endl;
		std::cerr << loading.error.message << std::endl;
		std::exit(1);
	}
	if(!loading.shortfall.empty())
		std::cerr << loading.shortfall << std::endl;
}

void play_music()
{
	Mix_PlayMusic(music_ptr, 1);
}

void place_music(double seconds, bool playing)
{
	if(!Mix_PlayingMusic())
		Mix_PlayMusic(music_ptr, 1);
	Mix_PauseMusic();
	Mix_SetMusicPosition(seconds);
	if(playing)
		Mix_ResumeMusic();
}

void free_music()
{
	Mix_FreeMusic(music_ptr);
	music_ptr = nullptr;
	SDL_Quit();
}
