#include "synth.h"

#include <algorithm>
#include <cmath>

namespace
{

	constexpr double pi = 3.14159265358979323846;
	constexpr double two_pi = 2 * pi;

	// Filter cutoffs, automation and vibrato change once per block of this many
	// frames (about 1.5 ms), far faster than any of them moves.
	constexpr long control_block = 32;

	// ---------------------------------------------------------------- noise

	// A xorshift generator: the same seed gives the same noise on every machine.
	struct NoiseState
	{
		std::uint32_t bits;
	};

	NoiseState seeded_noise(std::uint32_t seed)
	{
		std::uint32_t bits = seed * 2654435761u + 0x9E3779B9u;  // spread neighbouring seeds apart
		bits ^= bits >> 16;
		return {bits == 0 ? 1u : bits};  // xorshift stays at zero forever
	}

	// White noise in [-1, 1).
	double next_noise(NoiseState &noise)
	{
		std::uint32_t bits = noise.bits;
		bits ^= bits << 13;
		bits ^= bits >> 17;
		bits ^= bits << 5;
		noise.bits = bits;
		return static_cast<double>(bits) / 2147483648.0 - 1.0;
	}

	// A phase in [0, 1) drawn from the noise, so that stacked oscillators do not
	// all start together.
	double random_phase(NoiseState &noise)
	{
		return (next_noise(noise) + 1.0) * 0.5;
	}

	// ---------------------------------------------------------------- oscillators

	// Smooths the sawtooth's jump over one sample on either side (a polynomial
	// band-limited step), which removes most of the aliasing a plain sawtooth has
	// at this low sample rate.
	double blep_correction(double phase, double step)
	{
		if(phase < step)
		{
			const double x = phase / step;
			return x + x - x * x - 1;
		}
		if(phase > 1 - step)
		{
			const double x = (phase - 1) / step;
			return x * x + x + x + 1;
		}
		return 0;
	}

	void advance_phase(double &phase, double step)
	{
		phase += step;
		if(phase >= 1)
		{
			phase -= 1;
		}
	}

	// One sample of a band-limited sawtooth; STEP is the frequency in cycles per sample.
	double next_saw(double &phase, double step)
	{
		const double value = 2 * phase - 1 - blep_correction(phase, step);
		advance_phase(phase, step);
		return value;
	}

	double next_sine(double &phase, double step)
	{
		const double value = std::sin(two_pi * phase);
		advance_phase(phase, step);
		return value;
	}

	double cents_to_ratio(double cents)
	{
		return std::exp2(cents / 1200.0);
	}

	// ---------------------------------------------------------------- filter

	// A state-variable filter in trapezoidal form: stable at any cutoff up to
	// Nyquist, and it gives low-, band- and high-pass outputs together.
	struct FilterState
	{
		double first = 0;
		double second = 0;
	};

	struct FilterCoefficients
	{
		double damping;  // 1/Q
		double a1;
		double a2;
		double a3;
	};

	struct FilterOutput
	{
		double low;
		double band;  // peak gain Q; times damping for a unity peak
		double high;
	};

	FilterCoefficients filter_coefficients(double cutoff_hz, double resonance_q, int sample_rate)
	{
		const double cutoff = std::clamp(cutoff_hz, 20.0, 0.45 * sample_rate);
		const double g = std::tan(pi * cutoff / sample_rate);
		const double damping = 1.0 / resonance_q;
		const double a1 = 1.0 / (1.0 + g * (g + damping));
		return {damping, a1, g * a1, g * g * a1};
	}

	FilterOutput run_filter(FilterState &state, const FilterCoefficients &c, double input)
	{
		const double v3 = input - state.second;
		const double v1 = c.a1 * state.first + c.a2 * v3;
		const double v2 = state.second + c.a2 * state.first + c.a3 * v3;
		state.first = 2 * v1 - state.first;
		state.second = 2 * v2 - state.second;
		return {v2, v1, input - c.damping * v1 - v2};
	}

	// ---------------------------------------------------------------- envelopes

	// Attack rises in a straight line from zero; decay falls exponentially
	// towards the sustain level; release bends down to exactly zero, so notes
	// neither start nor end with a click.
	struct Envelope
	{
		double attack;
		double decay;
		double sustain;
		double release;
	};

	double held_level(const Envelope &envelope, double t)
	{
		if(t < envelope.attack)
		{
			return t / envelope.attack;
		}
		return envelope.sustain + (1 - envelope.sustain) * std::exp(-(t - envelope.attack) / envelope.decay);
	}

	// Level T seconds into a note whose key is held for GATE seconds.
	double envelope_level(const Envelope &envelope, double t, double gate)
	{
		if(t < gate)
		{
			return held_level(envelope, t);
		}
		const double x = (t - gate) / envelope.release;
		if(x >= 1)
		{
			return 0;
		}
		return held_level(envelope, gate) * (1 - x) * (1 - x);
	}

	// A percussive envelope: a short linear attack, an exponential decay, and a
	// fade over the last fifth of LENGTH so that it reaches zero at LENGTH.
	double hit_envelope(double t, double attack, double decay, double length)
	{
		if(t < 0 || t >= length)
		{
			return 0;
		}
		const double shape = t < attack ? t / attack : std::exp(-(t - attack) / decay);
		const double fade_start = 0.8 * length;
		return t < fade_start ? shape : shape * (length - t) / (length - fade_start);
	}

	// ---------------------------------------------------------------- voices

	// One note as an instrument sees it.
	struct Voice
	{
		long start_frame;
		double gate_seconds;
		double strength;
		std::vector<double> frequencies;  // Hz; empty for drums
		NoiseState noise;
	};

	// How much of a sound of SECONDS starting at START fits into the bus.
	long frames_to_render(const StereoSignal &bus, long start, double seconds, int sample_rate)
	{
		const long wanted = std::lround(seconds * sample_rate);
		const long room = static_cast<long>(bus.left.size()) - start;
		return std::clamp(wanted, 0L, std::max(room, 0L));
	}

	void add_frame(StereoSignal &bus, long frame, double left, double right)
	{
		bus.left[frame] += left;
		bus.right[frame] += right;
	}

	double brightness_at(const std::vector<double> &brightness, long frame)
	{
		return brightness[frame / control_block];
	}

	// A sine that sweeps down from a knock to a low thump, with a tick of noise on top.
	void render_kick(const Voice &voice, int rate, StereoSignal &bus)
	{
		const double length = 0.5;
		const double drive = 1.6;
		const long frames = frames_to_render(bus, voice.start_frame, length, rate);
		NoiseState noise = voice.noise;
		double phase = 0;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			const double frequency = 44 + 110 * std::exp(-t / 0.03);
			const double body = next_sine(phase, frequency / rate) * hit_envelope(t, 0.0008, 0.3, length);
			const double tick = 0.25 * next_noise(noise) * hit_envelope(t, 0.0005, 0.003, 0.02);
			const double value = std::tanh(drive * (body + tick)) / std::tanh(drive) * voice.strength;
			add_frame(bus, voice.start_frame + i, value, value);
		}
	}

	// Two damped drum-head tones under a burst of high-passed noise.
	void render_snare(const Voice &voice, int rate, StereoSignal &bus)
	{
		const double length = 0.32;
		const long frames = frames_to_render(bus, voice.start_frame, length, rate);
		const FilterCoefficients noise_filter = filter_coefficients(1800, 0.7, rate);
		FilterState noise_state;
		NoiseState noise = voice.noise;
		double low_phase = 0;
		double high_phase = 0;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			const double tone =
			    (0.55 * next_sine(low_phase, 185.0 / rate) + 0.25 * next_sine(high_phase, 330.0 / rate)) *
			    hit_envelope(t, 0.0008, 0.05, length);
			const double rattle =
			    run_filter(noise_state, noise_filter, next_noise(noise)).high * hit_envelope(t, 0.0008, 0.12, length);
			const double value = (tone + 0.8 * rattle) * voice.strength;
			add_frame(bus, voice.start_frame + i, value, value);
		}
	}

	// Band-passed noise in three quick slaps and a short tail, slightly
	// different on each side.
	void render_clap(const Voice &voice, int rate, StereoSignal &bus)
	{
		const double length = 0.45;
		const long frames = frames_to_render(bus, voice.start_frame, length, rate);
		const FilterCoefficients band = filter_coefficients(1150, 1.6, rate);
		FilterState left_state;
		FilterState right_state;
		NoiseState noise = voice.noise;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			const double slaps = hit_envelope(t, 0.0003, 0.005, 0.03) + hit_envelope(t - 0.011, 0.0003, 0.005, 0.03) +
			                     hit_envelope(t - 0.022, 0.0003, 0.005, 0.03);
			const double level = (slaps + 0.9 * hit_envelope(t - 0.03, 0.001, 0.14, length - 0.03)) * voice.strength;
			const double shared = next_noise(noise);
			const double apart = next_noise(noise);
			const double left = run_filter(left_state, band, 0.8 * shared + 0.35 * apart).band * band.damping;
			const double right = run_filter(right_state, band, 0.8 * shared - 0.35 * apart).band * band.damping;
			add_frame(bus, voice.start_frame + i, 1.8 * left * level, 1.8 * right * level);
		}
	}

	// High-passed noise; brightness closes a low-pass over it for the muffled
	// hats of the quiet parts.
	void render_hat(const Voice &voice, const std::vector<double> &brightness, int rate, double decay, double length,
	                StereoSignal &bus)
	{
		const long frames = frames_to_render(bus, voice.start_frame, length, rate);
		const FilterCoefficients high_pass = filter_coefficients(6000, 0.7, rate);
		FilterCoefficients low_pass{};
		FilterState high_state;
		FilterState low_state;
		NoiseState noise = voice.noise;
		for(long i = 0; i < frames; ++i)
		{
			if(i % control_block == 0)
			{
				const double open = brightness_at(brightness, voice.start_frame + i);
				low_pass = filter_coefficients(1800 + 8200 * open * open, 0.7, rate);
			}
			const double t = static_cast<double>(i) / rate;
			const double hiss = run_filter(high_state, high_pass, next_noise(noise)).high;
			const double value =
			    run_filter(low_state, low_pass, hiss).low * hit_envelope(t, 0.0004, decay, length) * voice.strength;
			add_frame(bus, voice.start_frame + i, value, value);
		}
	}

	// Long high-passed noise, independent on each side for a wide wash.
	void render_crash(const Voice &voice, int rate, StereoSignal &bus)
	{
		const double length = 3.0;
		const long frames = frames_to_render(bus, voice.start_frame, length, rate);
		const FilterCoefficients high_pass = filter_coefficients(3200, 0.7, rate);
		FilterState left_state;
		FilterState right_state;
		NoiseState noise = voice.noise;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			const double level = hit_envelope(t, 0.001, 0.9, length) * voice.strength;
			const double left = run_filter(left_state, high_pass, next_noise(noise)).high;
			const double right = run_filter(right_state, high_pass, next_noise(noise)).high;
			add_frame(bus, voice.start_frame + i, left * level, right * level);
		}
	}

	// Noise through a resonant band-pass that sweeps up and swells for as long
	// as the note is held.
	void render_riser(const Voice &voice, int rate, StereoSignal &bus)
	{
		const double release = 0.04;
		const double gate = std::max(voice.gate_seconds, 0.05);
		const long frames = frames_to_render(bus, voice.start_frame, gate + release, rate);
		FilterCoefficients band{};
		FilterState left_state;
		FilterState right_state;
		NoiseState noise = voice.noise;
		double progress = 0;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			if(i % control_block == 0)
			{
				progress = std::min(t / gate, 1.0);
				band = filter_coefficients(250 * std::pow(36.0, progress), 2.5, rate);
			}
			const double swell = (0.08 + 0.92 * progress * progress) * std::min(t / 0.005, 1.0);
			const double tail = t < gate ? 1.0 : 1.0 - (t - gate) / release;
			const double level = swell * tail * voice.strength * band.damping;
			const double left = run_filter(left_state, band, next_noise(noise)).band;
			const double right = run_filter(right_state, band, next_noise(noise)).band;
			add_frame(bus, voice.start_frame + i, left * level, right * level);
		}
	}

	// A sawtooth over a sine an octave below, through a low-pass that snaps shut
	// after each note starts.
	void render_bass(const Voice &voice, const std::vector<double> &brightness, int rate, StereoSignal &bus)
	{
		const Envelope envelope{0.004, 0.25, 0.7, 0.045};
		const long frames = frames_to_render(bus, voice.start_frame, voice.gate_seconds + envelope.release, rate);
		NoiseState noise = voice.noise;
		std::vector<double> saw_phases;
		std::vector<double> sub_phases(voice.frequencies.size(), 0.0);
		for(std::size_t index = 0; index < voice.frequencies.size(); ++index)
		{
			saw_phases.push_back(random_phase(noise));
		}
		FilterCoefficients low_pass{};
		FilterState state;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			if(i % control_block == 0)
			{
				const double open = brightness_at(brightness, voice.start_frame + i);
				low_pass = filter_coefficients(110 + open * (220 + 1700 * std::exp(-t / 0.1)), 1.1, rate);
			}
			double source = 0;
			for(std::size_t index = 0; index < voice.frequencies.size(); ++index)
			{
				const double step = voice.frequencies[index] / rate;
				source += 0.5 * next_saw(saw_phases[index], step) + 0.75 * next_sine(sub_phases[index], 0.5 * step);
			}
			const double value = run_filter(state, low_pass, source).low *
			                     envelope_level(envelope, t, voice.gate_seconds) * voice.strength;
			add_frame(bus, voice.start_frame + i, value, value);
		}
	}

	// Oscillators for one pitch of a stereo voice: a sawtooth shared by both
	// sides, and one detuned flat on the left and sharp on the right, which
	// gives width that still sums to mono cleanly.
	struct SawStack
	{
		double center_phase;
		double left_phase;
		double right_phase;
	};

	SawStack random_saw_stack(NoiseState &noise)
	{
		SawStack stack{};
		stack.center_phase = random_phase(noise);
		stack.left_phase = random_phase(noise);
		stack.right_phase = random_phase(noise);
		return stack;
	}

	// Adds one sample of every stack into LEFT and RIGHT. DETUNE is the ratio of
	// the right sawtooth's frequency to the centre one's; PITCH_RATIO bends all.
	void add_saw_stacks(std::vector<SawStack> &stacks, const std::vector<double> &frequencies, double detune,
	                    double pitch_ratio, int rate, double &left, double &right)
	{
		for(std::size_t index = 0; index < stacks.size(); ++index)
		{
			const double step = frequencies[index] * pitch_ratio / rate;
			SawStack &stack = stacks[index];
			const double center = next_saw(stack.center_phase, step);
			left += center + next_saw(stack.left_phase, step / detune);
			right += center + next_saw(stack.right_phase, step * detune);
		}
	}

	// Slow, wide chords: detuned sawtooths through a low-pass that drifts a little.
	void render_pad(const Voice &voice, const std::vector<double> &brightness, int rate, StereoSignal &bus)
	{
		const Envelope envelope{0.35, 1.4, 0.8, 1.1};
		const long frames = frames_to_render(bus, voice.start_frame, voice.gate_seconds + envelope.release, rate);
		NoiseState noise = voice.noise;
		std::vector<SawStack> stacks;
		for(std::size_t index = 0; index < voice.frequencies.size(); ++index)
		{
			stacks.push_back(random_saw_stack(noise));
		}
		const double drift_phase = random_phase(noise);
		const double detune = cents_to_ratio(11);
		FilterCoefficients low_pass{};
		FilterState left_state;
		FilterState right_state;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			if(i % control_block == 0)
			{
				const double open = brightness_at(brightness, voice.start_frame + i);
				const double drift = 1 + 0.15 * std::sin(two_pi * (0.23 * t + drift_phase));
				low_pass = filter_coefficients((350 + 3800 * open * open) * drift, 0.8, rate);
			}
			double left = 0;
			double right = 0;
			add_saw_stacks(stacks, voice.frequencies, detune, 1.0, rate, left, right);
			const double level = 0.3 * envelope_level(envelope, t, voice.gate_seconds) * voice.strength;
			add_frame(bus, voice.start_frame + i, run_filter(left_state, low_pass, left).low * level,
			          run_filter(right_state, low_pass, right).low * level);
		}
	}

	// Short plucked notes: a sawtooth on each side through a resonant low-pass
	// that closes quickly.
	void render_pluck(const Voice &voice, const std::vector<double> &brightness, int rate, StereoSignal &bus)
	{
		const Envelope envelope{0.002, 0.18, 0.0, 0.08};
		const long frames = frames_to_render(bus, voice.start_frame, voice.gate_seconds + envelope.release, rate);
		NoiseState noise = voice.noise;
		std::vector<double> left_phases;
		std::vector<double> right_phases;
		for(std::size_t index = 0; index < voice.frequencies.size(); ++index)
		{
			left_phases.push_back(random_phase(noise));
			right_phases.push_back(random_phase(noise));
		}
		const double detune = cents_to_ratio(5);
		FilterCoefficients low_pass{};
		FilterState left_state;
		FilterState right_state;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			if(i % control_block == 0)
			{
				const double open = brightness_at(brightness, voice.start_frame + i);
				low_pass = filter_coefficients(300 + open * (400 + 4200 * std::exp(-t / 0.08)), 2.0, rate);
			}
			double left = 0;
			double right = 0;
			for(std::size_t index = 0; index < voice.frequencies.size(); ++index)
			{
				const double step = voice.frequencies[index] / rate;
				left += next_saw(left_phases[index], step / detune);
				right += next_saw(right_phases[index], step * detune);
			}
			const double level = envelope_level(envelope, t, voice.gate_seconds) * voice.strength;
			add_frame(bus, voice.start_frame + i, run_filter(left_state, low_pass, left).low * level,
			          run_filter(right_state, low_pass, right).low * level);
		}
	}

	// The melody voice: detuned sawtooths and a sine for body, with vibrato that
	// fades in on held notes.
	void render_lead(const Voice &voice, const std::vector<double> &brightness, int rate, StereoSignal &bus)
	{
		const Envelope envelope{0.012, 0.5, 0.72, 0.22};
		const long frames = frames_to_render(bus, voice.start_frame, voice.gate_seconds + envelope.release, rate);
		NoiseState noise = voice.noise;
		std::vector<SawStack> stacks;
		std::vector<double> sine_phases(voice.frequencies.size(), 0.0);
		for(std::size_t index = 0; index < voice.frequencies.size(); ++index)
		{
			stacks.push_back(random_saw_stack(noise));
		}
		const double detune = cents_to_ratio(8);
		FilterCoefficients low_pass{};
		FilterState left_state;
		FilterState right_state;
		double vibrato = 1;
		for(long i = 0; i < frames; ++i)
		{
			const double t = static_cast<double>(i) / rate;
			if(i % control_block == 0)
			{
				const double open = brightness_at(brightness, voice.start_frame + i);
				low_pass = filter_coefficients(1000 + open * (2300 + 2500 * std::exp(-t / 0.22)), 1.3, rate);
				const double depth = 0.2 * std::clamp((t - 0.28) / 0.35, 0.0, 1.0);
				vibrato = std::exp2(depth * std::sin(two_pi * 5.3 * t) / 12.0);
			}
			double left = 0;
			double right = 0;
			add_saw_stacks(stacks, voice.frequencies, detune, vibrato, rate, left, right);
			double body = 0;
			for(std::size_t index = 0; index < voice.frequencies.size(); ++index)
			{
				body += next_sine(sine_phases[index], voice.frequencies[index] * vibrato / rate);
			}
			const double level = 0.5 * envelope_level(envelope, t, voice.gate_seconds) * voice.strength;
			add_frame(bus, voice.start_frame + i, (run_filter(left_state, low_pass, left).low + 0.6 * body) * level,
			          (run_filter(right_state, low_pass, right).low + 0.6 * body) * level);
		}
	}

	void render_voice(Instrument instrument, const Voice &voice, const std::vector<double> &brightness, int rate,
	                  StereoSignal &bus)
	{
		switch(instrument)
		{
		case Instrument::kick: render_kick(voice, rate, bus); break;
		case Instrument::snare: render_snare(voice, rate, bus); break;
		case Instrument::clap: render_clap(voice, rate, bus); break;
		case Instrument::hat: render_hat(voice, brightness, rate, 0.035, 0.15, bus); break;
		case Instrument::open_hat: render_hat(voice, brightness, rate, 0.2, 0.6, bus); break;
		case Instrument::crash: render_crash(voice, rate, bus); break;
		case Instrument::riser: render_riser(voice, rate, bus); break;
		case Instrument::bass: render_bass(voice, brightness, rate, bus); break;
		case Instrument::pad: render_pad(voice, brightness, rate, bus); break;
		case Instrument::pluck: render_pluck(voice, brightness, rate, bus); break;
		case Instrument::lead: render_lead(voice, brightness, rate, bus); break;
		case Instrument::count: break;
		}
	}

	// ---------------------------------------------------------------- mixing

	// How an instrument sits in the mix: its loudness, its place left (-1) to
	// right (+1), how far the kick pushes it down, and its effect sends.
	struct MixSettings
	{
		double gain;
		double pan;
		double duck;
		double delay_send;
		double reverb_send;
	};

	MixSettings mix_settings(Instrument instrument)
	{
		switch(instrument)
		{
		case Instrument::kick: return {0.7, 0.0, 0.0, 0.0, 0.02};
		case Instrument::snare: return {0.6, 0.0, 0.0, 0.0, 0.2};
		case Instrument::clap: return {1.4, 0.05, 0.0, 0.0, 0.22};
		case Instrument::hat: return {0.6, 0.3, 0.0, 0.0, 0.05};
		case Instrument::open_hat: return {0.4, -0.25, 0.3, 0.0, 0.08};
		case Instrument::crash: return {0.4, 0.0, 0.0, 0.0, 0.2};
		case Instrument::riser: return {0.9, 0.0, 0.0, 0.1, 0.3};
		case Instrument::bass: return {0.55, 0.0, 0.65, 0.0, 0.0};
		case Instrument::pad: return {0.3, 0.0, 0.55, 0.0, 0.45};
		case Instrument::pluck: return {0.28, -0.2, 0.45, 0.35, 0.2};
		case Instrument::lead: return {0.4, 0.1, 0.25, 0.25, 0.3};
		case Instrument::count: break;
		}
		return {0, 0, 0, 0, 0};
	}

	// Values of an automation lane, one per control block plus one past the end.
	std::vector<double> automation_curve(const std::vector<Ramp> &lane, double fallback, long frames, int rate,
	                                     double beat_seconds)
	{
		std::vector<double> curve(static_cast<std::size_t>(frames / control_block + 2));
		for(std::size_t block = 0; block < curve.size(); ++block)
		{
			const double seconds = static_cast<double>(block) * control_block / rate;
			curve[block] = ramp_value(lane, seconds / beat_seconds, fallback);
		}
		return curve;
	}

	// An automation curve read at one frame, in a straight line between blocks.
	double curve_at(const std::vector<double> &curve, long frame)
	{
		const std::size_t block = static_cast<std::size_t>(frame / control_block);
		const double within = static_cast<double>(frame % control_block) / control_block;
		return curve[block] + (curve[block + 1] - curve[block]) * within;
	}

	// How deep each kick hit pushes the ducked instruments down at every frame:
	// a fast dip, then a slow climb back, for the pumping of the drops.
	std::vector<double> kick_duck_curve(const Score &score, long frames, int rate)
	{
		const double dip_seconds = 0.004;
		const double climb_seconds = 0.22;
		std::vector<double> curve(static_cast<std::size_t>(frames), 0.0);
		const double beat_seconds = seconds_per_beat(score);
		for(const Note &note : score.notes)
		{
			if(note.instrument != Instrument::kick)
			{
				continue;
			}
			const long start = std::lround(note.start_beat * beat_seconds * rate);
			const long length = std::lround((dip_seconds + climb_seconds) * rate);
			for(long i = 0; i < length && start + i < frames; ++i)
			{
				const double t = static_cast<double>(i) / rate;
				const double climb = 1 - (t - dip_seconds) / climb_seconds;
				const double depth = (t < dip_seconds ? t / dip_seconds : climb * climb) * note.strength;
				curve[start + i] = std::max(curve[start + i], depth);
			}
		}
		return curve;
	}

	// Writes into ECHOES the echoes of the mono INPUT, bouncing from left to
	// right, each one quieter and darker than the one before.
	void render_ping_pong_delay(const std::vector<double> &input, long delay_frames, double feedback,
	                            StereoSignal &echoes)
	{
		std::vector<double> left_line(static_cast<std::size_t>(delay_frames), 0.0);
		std::vector<double> right_line(static_cast<std::size_t>(delay_frames), 0.0);
		std::size_t position = 0;
		double darkened = 0;
		for(std::size_t i = 0; i < input.size(); ++i)
		{
			const double left_echo = left_line[position];
			const double right_echo = right_line[position];
			darkened += 0.35 * (right_echo - darkened);
			left_line[position] = input[i] + feedback * darkened;
			right_line[position] = feedback * left_echo;
			echoes.left[i] = left_echo;
			echoes.right[i] = right_echo;
			position = (position + 1) % left_line.size();
		}
	}

	struct CombFilter
	{
		std::vector<double> line;
		std::size_t position = 0;
		double damped = 0;
	};

	struct AllpassFilter
	{
		std::vector<double> line;
		std::size_t position = 0;
	};

	double run_comb(CombFilter &comb, double input, double feedback, double damping)
	{
		const double output = comb.line[comb.position];
		comb.damped = output * (1 - damping) + comb.damped * damping;
		comb.line[comb.position] = input + comb.damped * feedback;
		comb.position = (comb.position + 1) % comb.line.size();
		return output;
	}

	double run_allpass(AllpassFilter &allpass, double input)
	{
		const double delayed = allpass.line[allpass.position];
		allpass.line[allpass.position] = input + 0.5 * delayed;
		allpass.position = (allpass.position + 1) % allpass.line.size();
		return delayed - input;
	}

	// Adds to OUTPUT the sound of the mono INPUT in a room: parallel damped combs
	// then allpass diffusers, with slightly different lengths on each side for width.
	void add_reverb(const std::vector<double> &input, int rate, StereoSignal &output)
	{
		// Delay lengths in samples at 44.1 kHz, mutually prime so echoes do not pile up.
		const int comb_lengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
		const int allpass_lengths[] = {556, 441, 341, 225};
		const int right_offset = 23;
		const double scale = rate / 44100.0;
		auto delay_line = [scale](int length) {
			return std::vector<double>(static_cast<std::size_t>(std::lround(length * scale)), 0.0);
		};
		std::vector<CombFilter> left_combs;
		std::vector<CombFilter> right_combs;
		for(int length : comb_lengths)
		{
			left_combs.push_back({delay_line(length), 0, 0});
			right_combs.push_back({delay_line(length + right_offset), 0, 0});
		}
		std::vector<AllpassFilter> left_allpasses;
		std::vector<AllpassFilter> right_allpasses;
		for(int length : allpass_lengths)
		{
			left_allpasses.push_back({delay_line(length), 0});
			right_allpasses.push_back({delay_line(length + right_offset), 0});
		}
		const double feedback = 0.83;
		const double damping = 0.3;
		for(std::size_t i = 0; i < input.size(); ++i)
		{
			const double scaled = 0.03 * input[i];
			double left = 0;
			double right = 0;
			for(std::size_t index = 0; index < left_combs.size(); ++index)
			{
				left += run_comb(left_combs[index], scaled, feedback, damping);
				right += run_comb(right_combs[index], scaled, feedback, damping);
			}
			for(std::size_t index = 0; index < left_allpasses.size(); ++index)
			{
				left = run_allpass(left_allpasses[index], left);
				right = run_allpass(right_allpasses[index], right);
			}
			output.left[i] += 3 * left;
			output.right[i] += 3 * right;
		}
	}

	// Rounds off the tips of the loudest hits with a tanh curve, so that the song
	// can sit louder under the same peak. The signal is first scaled so that its
	// peak lands at PEAK_DRIVE on the curve: there the curve bends the tips down
	// by a few decibels while quieter sound passes almost untouched.
	void saturate_peaks(StereoSignal &signal, double peak_drive)
	{
		double peak = 0;
		for(std::size_t i = 0; i < signal.left.size(); ++i)
		{
			peak = std::max({peak, std::fabs(signal.left[i]), std::fabs(signal.right[i])});
		}
		if(peak == 0)
		{
			return;
		}
		const double scale = peak_drive / peak;
		for(std::size_t i = 0; i < signal.left.size(); ++i)
		{
			signal.left[i] = std::tanh(signal.left[i] * scale);
			signal.right[i] = std::tanh(signal.right[i] * scale);
		}
	}

	// The song as it is mixed: the instruments so far, and what they send to
	// the delay and the reverb (in mono).
	struct SongMix
	{
		StereoSignal dry;
		std::vector<double> delay_input;
		std::vector<double> reverb_input;
	};

	// Plays every note of INSTRUMENT into BUS, which it clears first. False if
	// the instrument has no notes.
	bool render_instrument(const Score &score, Instrument instrument, int sample_rate, StereoSignal &bus)
	{
		const double beat_seconds = seconds_per_beat(score);
		const long frames = static_cast<long>(bus.left.size());
		const std::vector<double> brightness =
		    automation_curve(score.brightness[static_cast<int>(instrument)], 1.0, frames, sample_rate, beat_seconds);
		std::fill(bus.left.begin(), bus.left.end(), 0.0);
		std::fill(bus.right.begin(), bus.right.end(), 0.0);
		bool played = false;
		for(std::size_t note_index = 0; note_index < score.notes.size(); ++note_index)
		{
			const Note &note = score.notes[note_index];
			if(note.instrument != instrument)
			{
				continue;
			}
			Voice voice{std::lround(note.start_beat * beat_seconds * sample_rate),
			            note.length_beats * beat_seconds,
			            note.strength,
			            {},
			            seeded_noise(static_cast<std::uint32_t>(note_index))};
			for(int pitch : note.pitches)
			{
				voice.frequencies.push_back(440.0 * std::exp2((pitch - 69) / 12.0));
			}
			render_voice(instrument, voice, brightness, sample_rate, bus);
			played = true;
		}
		return played;
	}

	// Adds INSTRUMENT's BUS to the song with its gain, level automation, pan,
	// ducking under the kick and effect sends.
	void mix_instrument(const Score &score, Instrument instrument, const StereoSignal &bus,
	                    const std::vector<double> &duck, int sample_rate, SongMix &song)
	{
		const MixSettings settings = mix_settings(instrument);
		const long frames = static_cast<long>(bus.left.size());
		const std::vector<double> level = automation_curve(score.levels[static_cast<int>(instrument)], 1.0, frames,
		                                                   sample_rate, seconds_per_beat(score));
		const double left_pan = std::sqrt(2.0) * std::cos((settings.pan + 1) * pi / 4);
		const double right_pan = std::sqrt(2.0) * std::sin((settings.pan + 1) * pi / 4);
		for(long i = 0; i < frames; ++i)
		{
			const double gain = settings.gain * curve_at(level, i) * (1 - settings.duck * duck[i]);
			const double left = bus.left[i] * gain * left_pan;
			const double right = bus.right[i] * gain * right_pan;
			song.dry.left[i] += left;
			song.dry.right[i] += right;
			song.delay_input[i] += 0.5 * (left + right) * settings.delay_send;
			song.reverb_input[i] += 0.5 * (left + right) * settings.reverb_send;
		}
	}

	StereoSignal silent_signal(long frames)
	{
		return {std::vector<double>(static_cast<std::size_t>(frames), 0.0),
		        std::vector<double>(static_cast<std::size_t>(frames), 0.0)};
	}

}  // namespace

long song_frame_count(const Score &score, int sample_rate)
{
	const double seconds = static_cast<double>(score.bar_count) * score.beats_per_bar * seconds_per_beat(score);
	return std::lround(seconds * sample_rate);
}

StereoSignal render_score(const Score &score, int sample_rate)
{
	const long frames = song_frame_count(score, sample_rate);
	SongMix song{silent_signal(frames), std::vector<double>(static_cast<std::size_t>(frames), 0.0),
	             std::vector<double>(static_cast<std::size_t>(frames), 0.0)};
	StereoSignal bus = silent_signal(frames);
	const std::vector<double> duck = kick_duck_curve(score, frames, sample_rate);
	for(int index = 0; index < instrument_count; ++index)
	{
		const Instrument instrument = static_cast<Instrument>(index);
		if(render_instrument(score, instrument, sample_rate, bus))
		{
			mix_instrument(score, instrument, bus, duck, sample_rate, song);
		}
	}

	// A dotted-eighth delay, the classic lilt against a four-to-the-floor beat.
	const double beat_seconds = seconds_per_beat(score);
	StereoSignal &echoes = bus;
	render_ping_pong_delay(song.delay_input, std::lround(0.75 * beat_seconds * sample_rate), 0.42, echoes);
	const double echo_reverb_send = 0.3;
	for(long i = 0; i < frames; ++i)
	{
		song.dry.left[i] += echoes.left[i];
		song.dry.right[i] += echoes.right[i];
		song.reverb_input[i] += echo_reverb_send * 0.5 * (echoes.left[i] + echoes.right[i]);
	}
	StereoSignal &result = song.dry;
	add_reverb(song.reverb_input, sample_rate, result);

	const std::vector<double> master = automation_curve(score.master_level, 1.0, frames, sample_rate, beat_seconds);
	for(long i = 0; i < frames; ++i)
	{
		const double gain = curve_at(master, i);
		result.left[i] *= gain;
		result.right[i] *= gain;
	}
	saturate_peaks(result, 1.5);
	return result;
}

std::vector<std::int16_t> to_pcm16(const StereoSignal &signal, double peak_dbfs)
{
	double peak = 0;
	for(const std::vector<double> *channel : {&signal.left, &signal.right})
	{
		for(double value : *channel)
		{
			peak = std::max(peak, std::fabs(value));
		}
	}
	const double target = 32767.0 * std::pow(10.0, peak_dbfs / 20.0);
	const double scale = peak > 0 ? target / peak : 0.0;
	std::vector<std::int16_t> samples;
	samples.reserve(signal.left.size() * 2);
	for(std::size_t i = 0; i < signal.left.size(); ++i)
	{
		for(double value : {signal.left[i], signal.right[i]})
		{
			const long rounded = std::clamp(std::lround(value * scale), -32767L, 32767L);
			samples.push_back(static_cast<std::int16_t>(rounded));
		}
	}
	return samples;
}
