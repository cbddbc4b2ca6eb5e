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

	// Opens the soundtrack and hands it to the mixer. Only a regular file is
	// taken, opened without waiting, and libsndfile reads its header first:
	// the mixer's own reader divides by the channel count it finds there.
	// The mixer then reads the very file that was checked. Returns the
	// music, or null with *reason set; *shortfall is set when the file holds
	// less than its header promises (SoundFileShortfall), which still plays.
	Mix_Music *LoadSoundtrack(const char *path, std::string *reason, std::string *shortfall)
	{
		SoundFile sound = OpenSoundFile(path);
		if(!sound.error.empty())
		{
			*reason = sound.error;
			return nullptr;
		}
		*shortfall = SoundFileShortfall(path, sound.file);
		sound.reader.reset();
		const int descriptor = sound.file.Release();
		FILE *stream = lseek(descriptor, 0, SEEK_SET) == 0 ? fdopen(descriptor, "rb") : nullptr;
		if(!stream)
		{
			*reason = std::strerror(errno);
			close(descriptor);
			return nullptr;
		}
		SDL_RWops *source = SDL_RWFromFP(stream, SDL_TRUE);
		if(!source)
		{
			*reason = SDL_GetError();
			std::fclose(stream);
			return nullptr;
		}
		Mix_Music *music = Mix_LoadMUS_RW(source, 1);
		if(!music)
			*reason = Mix_GetError();
		return music;
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

	std::string reason;
	std::string shortfall;
	music_ptr = LoadSoundtrack(MY_COOL_MP3, &reason, &shortfall);
	if(!music_ptr)
	{
		std::cerr << "Error loading music: " << MY_COOL_MP3 << std::endl;
		std::cerr << reason << std::endl;
		std::exit(1);
	}
	if(!shortfall.empty())
		std::cerr << shortfall << std::endl;
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
