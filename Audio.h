// The intro's music: one WAV file played by SDL2_mixer on its own thread.
#ifndef AUDIO_H
#define AUDIO_H

// The music file, opened relative to the working directory. Despite the
// name it is a WAV file.
extern const char *const MY_COOL_MP3;

// Starts SDL's audio, the mixer and the audio device (22050 Hz, signed 16-bit,
// stereo) and loads MY_COOL_MP3, which must be a regular file whose header
// libsndfile reads. Ends the process with status 1 when SDL, the mixer or the
// load fails (the load's failure as "Error loading music: " and the file's
// name, then the reason); a device that cannot be opened is reported on
// standard error and leaves the decision to the load. A file that holds less
// than its header promises is said on standard error, naming both lengths,
// and played as far as it goes.
void load_music();

// Starts the loaded music, played once.
void play_music();

// Puts the loaded music at seconds from its start, playing from there or
// held paused there; starts it again first when it has played to its end.
// A position past the music's end gives silence.
void place_music(double seconds, bool playing);

// Releases the music and shuts SDL down.
void free_music();

#endif
