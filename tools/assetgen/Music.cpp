// The show's music (see Music.h): instruments, the score of the six sections, the mix.
//
// The show reads the loudest bin of a 1024-point spectrum (bins 43.07 Hz apart) in a few
// bands per scene, so each section puts clear energy into its scene's bands, shaped for
// what the scene does with them (see each section). Accents aim at 0.2-0.6 in those bands.
// Where a scene flashes on a band (cloud glow, closing), the band is silent between
// accents: a Hann window leaks under 3.2 % of a sine into bins 1.85 or more away, so other
// voices keep that far from its bins.
//
// The limiter holds the true peak at kTruePeakCeiling, and band readings are relative to
// full scale, so the voices a scene follows are set with the limiter's work in mind: the
// cloud's arpeggios duck under its stabs, which sound three or two partials at a time.
#include "assetgen/Music.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "assetgen/Loudness.h"
#include "assetgen/Random.h"
#include "audio/MusicStream.h"

namespace {

// Mix bus

struct Bus {
  explicit Bus(size_t frames) : dry(frames), reverb(frames), echo(frames), steady(frames) {}
  StereoBuffer dry;
  StereoBuffer reverb;  // send
  StereoBuffer echo;    // send
  // Joins after the bus compressor (whose gain drops on every kick): for voices whose band
  // level a scene follows frame by frame.
  StereoBuffer steady;
};

struct Placement {   // where a voice sits and how much of it goes to the effects
  float pan = 0.0f;  // -1 left .. 1 right; linear, so the mono sum the show analyses is kept
  float reverb = 0.0f;
  float echo = 0.0f;
};

void emit(Bus& bus, int64_t frame, float sample, const Placement& place) {
  float l = sample * (1.0f - place.pan);
  float r = sample * (1.0f + place.pan);
  bus.dry.add(frame, l, r);
  if (place.reverb > 0.0f) bus.reverb.add(frame, l * place.reverb, r * place.reverb);
  if (place.echo > 0.0f) bus.echo.add(frame, l * place.echo, r * place.echo);
}

int64_t framesIn(double seconds) { return static_cast<int64_t>(std::ceil(seconds * kSampleRate)); }

// Calls sound(frame, t) for `count` frames from `first`, t in seconds from it.
template <typename Sound>
void eachFrame(int64_t first, int64_t count, Sound sound) {
  for (int64_t i = 0; i < count; ++i) sound(first + i, static_cast<double>(i) / kSampleRate);
}

constexpr int kControlFrames = 32;  // filters and vibrato update every 0.7 ms

// Instruments

constexpr double kKickSweepHz = 130.0;  // extra pitch at the hit: from 176 Hz down to the body

// `sweepHz` above the body at the hit, falling away within a few milliseconds.
void kick(Bus& bus, double start, float velocity, double sweepHz = kKickSweepHz) {
  constexpr double kBaseHz = 46.0;  // body; lands on bin 1
  constexpr double kSweepSeconds = 0.03;
  constexpr double kDecaySeconds = 0.22;
  constexpr double kLengthSeconds = 1.2;
  double phase = 0.0;
  eachFrame(frameAt(start), framesIn(kLengthSeconds), [&](int64_t frame, double t) {
    phase += (kBaseHz + sweepHz * std::exp(-t / kSweepSeconds)) / kSampleRate;
    double level = velocity * std::min(1.0, t / 0.001) * std::exp(-t / kDecaySeconds);
    emit(bus, frame, static_cast<float>(level * std::sin(2.0 * kPi * phase)), {});
  });
}

void snare(Bus& bus, Pcg32& rng, double start, float velocity) {
  constexpr double kLengthSeconds = 0.8;
  Biquad hiss;
  hiss.highPass(1800.0, 0.7);
  const Placement place{0.05f, 0.25f, 0.0f};
  eachFrame(frameAt(start), framesIn(kLengthSeconds), [&](int64_t frame, double t) {
    double body = 0.5 * std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t / 0.05) +
                  0.25 * std::sin(2.0 * kPi * 330.0 * t) * std::exp(-t / 0.04);
    double noise = hiss.process(rng.bipolar()) * std::exp(-t / 0.1);
    double attack = std::min(1.0, t / 0.0008);
    emit(bus, frame, static_cast<float>(velocity * attack * (body + 0.5 * noise)), place);
  });
}

constexpr double kClosedHatDecay = 0.035;  // time constants, seconds
constexpr double kOpenHatDecay = 0.2;
constexpr float kHatReverb = 0.12f;

// Metallic partials on spectrum bins 76, 82 and 88 (3.27-3.79 kHz) over high-passed noise.
// The hit rings for nine time constants of `decay` (seconds): the band falls below -78 dB.
void hat(Bus& bus, Pcg32& rng, double start, float velocity, double decay, const Placement& place) {
  static const double kPartialHz[] = {3273.0, 3531.0, 3789.0};
  static const double kPartialLevel[] = {1.0, 0.25, 0.15};
  constexpr double kNoiseLevel = 0.4;
  Biquad hiss;
  hiss.highPass(7000.0, 0.7);
  eachFrame(frameAt(start), framesIn(decay * 9.0), [&](int64_t frame, double t) {
    double tone = 0.0;
    for (int p = 0; p < 3; ++p) tone += kPartialLevel[p] * std::sin(2.0 * kPi * kPartialHz[p] * t);
    double level = velocity * std::min(1.0, t / 0.0005) * std::exp(-t / decay);
    double sample = level * (tone + kNoiseLevel * hiss.process(rng.bipolar()));
    emit(bus, frame, static_cast<float>(sample), place);
  });
}

// Noise hit with a long tail, marking the start of a section.
void crash(Bus& bus, Pcg32& rng, double start, float velocity) {
  constexpr double kDecaySeconds = 0.9;
  Biquad hiss;
  hiss.highPass(2500.0, 0.6);
  const Placement place{-0.1f, 0.4f, 0.0f};
  eachFrame(frameAt(start), framesIn(kDecaySeconds * 8.0), [&](int64_t frame, double t) {
    double level = velocity * std::min(1.0, t / 0.002) * std::exp(-t / kDecaySeconds);
    emit(bus, frame, static_cast<float>(level * hiss.process(rng.bipolar())), place);
  });
}

// Noise through a band-pass rising from 300 Hz to 6 kHz, swelling into `end`.
void riser(Bus& bus, Pcg32& rng, double start, double end, float velocity) {
  Biquad band;
  const int64_t first = frameAt(start);
  const int64_t count = frameAt(end) - first;
  const Placement place{0.0f, 0.5f, 0.0f};
  for (int64_t i = 0; i < count; ++i) {
    double progress = static_cast<double>(i) / count;
    if (i % kControlFrames == 0) band.bandPass(300.0 * std::pow(20.0, progress), 2.0);
    double level = velocity * progress * progress;
    emit(bus, first + i, static_cast<float>(level * band.process(rng.bipolar())), place);
  }
}

// A subtractive voice: wavetable through a low-pass that opens at the attack and settles.
// Fields in the order of brace initialisation.
struct Patch {
  Wave wave = Wave::Saw;
  Envelope amp;
  double cutoffHz = 18000.0;
  double cutoffBoost = 0.0;  // extra cutoff at the attack, in multiples of cutoffHz
  double cutoffDecay = 0.1;  // seconds
  double resonance = 0.707;
  double vibrato = 0.0;  // depth as a fraction of the frequency, 5 Hz, after 0.25 s
};

void note(Bus& bus, const Patch& patch, double start, double length, double midi, float velocity,
          const Placement& place, double detuneCents = 0.0, double phase = 0.0) {
  constexpr double kWaveCeilingHz = 12000.0;
  constexpr double kVibratoHz = 5.0;
  constexpr double kVibratoDelay = 0.25;
  const double hz = midiToHz(midi + detuneCents / 100.0);
  Oscillator osc(WaveTable::get(patch.wave, hz, kWaveCeilingHz), hz, phase);
  Biquad filter;
  const int64_t first = frameAt(start);
  const int64_t count = framesIn(length + patch.amp.tail());
  for (int64_t i = 0; i < count; ++i) {
    double t = static_cast<double>(i) / kSampleRate;
    if (i % kControlFrames == 0) {
      double cutoff = patch.cutoffHz * (1.0 + patch.cutoffBoost * std::exp(-t / patch.cutoffDecay));
      filter.lowPass(cutoff, patch.resonance);
      if (patch.vibrato > 0.0 && t > kVibratoDelay) {
        osc.setFrequency(hz * (1.0 + patch.vibrato * std::sin(2.0 * kPi * kVibratoHz * t)));
      }
    }
    float sample = filter.process(osc.next()) * velocity * patch.amp.at(t, length);
    emit(bus, first + i, sample, place);
  }
}

// Three detuned saws per note, spread across the stereo field.
void pad(Bus& bus, double start, double length, const std::vector<int>& notes, float velocity,
         double brightnessHz) {
  static const double kDetuneCents[] = {-7.0, 0.0, 7.0};
  static const float kVoiceLevel[] = {0.45f, 0.7f, 0.45f};
  static const float kVoicePan[] = {-0.3f, 0.0f, 0.3f};
  const Patch patch{Wave::Saw, {0.35, 1.2, 0.8, 0.6}, brightnessHz};
  for (size_t n = 0; n < notes.size(); ++n) {
    for (int v = 0; v < 3; ++v) {
      Placement place{kVoicePan[v], 0.35f, 0.0f};
      double phase = 0.37 * v + 0.11 * n;  // fixed, so the voices do not start in step
      note(bus, patch, start, length, notes[n], velocity * kVoiceLevel[v], place, kDetuneCents[v],
           phase - std::floor(phase));
    }
  }
}

// Struck bell: inharmonic upper partials decaying faster than the fundamental; those above
// `ceilingHz` are left out, to keep a bell clear of a band a scene listens to.
void bell(Bus& bus, double start, double length, double midi, float velocity,
          const Placement& place, double ceilingHz = 1e9) {
  static const double kRatio[] = {1.0, 2.0, 3.0, 4.07};
  static const double kLevel[] = {1.0, 0.25, 0.1, 0.06};
  static const double kDecay[] = {0.7, 0.35, 0.25, 0.15};
  constexpr double kReleaseSeconds = 0.08;
  const double hz = midiToHz(midi);
  int partials = 0;
  while (partials < 4 && hz * kRatio[partials] <= ceilingHz) ++partials;
  eachFrame(frameAt(start), framesIn(length + kReleaseSeconds * 7.0), [&](int64_t frame, double t) {
    double sum = 0.0;
    for (int p = 0; p < partials; ++p) {
      sum += kLevel[p] * std::exp(-t / kDecay[p]) * std::sin(2.0 * kPi * hz * kRatio[p] * t);
    }
    double gate = t < length ? 1.0 : std::exp(-(t - length) / kReleaseSeconds);
    double level = velocity * std::min(1.0, t / 0.003) * gate;
    emit(bus, frame, static_cast<float>(level * sum), place);
  });
}

// Harmony and time

struct Chord {
  int root;   // MIDI note
  int third;  // semitones above the root: 3 minor, 4 major
};

const Chord kMainProgression[] = {{57, 3}, {53, 4}, {48, 4}, {55, 4}};   // Am F C G
const Chord kBreakProgression[] = {{50, 3}, {57, 3}, {53, 4}, {52, 4}};  // Dm Am F E

constexpr int kBeatsPerBar = 4;
constexpr int kStepsPerBar = 16;
constexpr double kBarSeconds = kBeatsPerBar * kBeatSeconds;
constexpr int kFirstBreakBar = 32;  // the columns section, bars 32-39
constexpr int kLastBreakBar = 39;

const Chord& chordOfBar(int bar) {
  if (bar >= kFirstBreakBar && bar <= kLastBreakBar) return kBreakProgression[bar % 4];
  return kMainProgression[bar % 4];
}

bool isChordTone(const Chord& chord, int midi) {
  int interval = ((midi - chord.root) % 12 + 12) % 12;
  return interval == 0 || interval == chord.third || interval == 7;
}

// The chord's notes within [low, high], lowest first.
std::vector<int> voicing(const Chord& chord, int low, int high) {
  std::vector<int> notes;
  for (int midi = low; midi <= high; ++midi) {
    if (isChordTone(chord, midi)) notes.push_back(midi);
  }
  return notes;
}

// The chord's root in [low, low + 11].
int rootFrom(const Chord& chord, int low) { return low + ((chord.root - low) % 12 + 12) % 12; }

// The chord tone nearest `midi`, the lower one of two equally near.
int nearestChordTone(const Chord& chord, int midi) {
  for (int away = 0;; ++away) {
    if (isChordTone(chord, midi - away)) return midi - away;
    if (isChordTone(chord, midi + away)) return midi + away;
  }
}

double barTime(int bar) { return bar * kBarSeconds; }
double stepTime(int bar, int step) { return barTime(bar) + step * kBarSeconds / kStepsPerBar; }

struct Span {
  double start;
  double end;
  bool holds(double t) const { return t >= start && t < end; }
  int firstBar() const { return static_cast<int>(std::floor(start / kBarSeconds)); }
  int lastBar() const { return static_cast<int>(std::ceil(end / kBarSeconds)) - 1; }
  // Length of a note starting at t, cut at the end of the span.
  double clip(double t, double length) const { return std::min(length, end - t); }
};

Span section(int index) { return {kSectionStarts[index], kSectionStarts[index + 1]}; }

// Calls sound(frame, t) for every frame of the span, t in seconds of music time.
template <typename Sound>
void eachFrame(const Span& span, Sound sound) {
  const int64_t first = frameAt(span.start);
  eachFrame(first, frameAt(span.end) - first,
            [&](int64_t frame, double t) { sound(frame, span.start + t); });
}

// Calls play(time, bar, step, symbol) for every non-rest step of a 16-step pattern in
// bars [fromBar, toBar] within the span.
template <typename Play>
void pattern(const Span& span, int fromBar, int toBar, const char* steps, Play play) {
  for (int bar = std::max(fromBar, span.firstBar()); bar <= std::min(toBar, span.lastBar());
       ++bar) {
    for (int step = 0; step < kStepsPerBar && steps[step]; ++step) {
      if (steps[step] == '.') continue;
      double t = stepTime(bar, step);
      if (span.holds(t)) play(t, bar, step, steps[step]);
    }
  }
}

struct MelodyNote {  // start and length in beats from the start of the melody's first bar
  double beat;
  double beats;
  int midi;
};

template <size_t N>
void melody(Bus& bus, const Span& span, int firstBar, const MelodyNote (&notes)[N], int transpose,
            float velocity, const Patch* patch, const Placement& place,
            double bellCeilingHz = 1e9) {
  for (const MelodyNote& m : notes) {
    double t = barTime(firstBar) + m.beat * kBeatSeconds;
    if (!span.holds(t)) continue;
    double length = span.clip(t, m.beats * kBeatSeconds * 0.95);
    if (patch) {
      note(bus, *patch, t, length, m.midi + transpose, velocity, place);
    } else {
      bell(bus, t, length, m.midi + transpose, velocity, place, bellCeilingHz);
    }
  }
}

struct LineNote {
  double start;  // seconds; the note lasts until the next one starts
  int midi;
};

// A legato line (a triangle of harmonics 1, 3 and 5) gliding into each note, its level
// swelling between `low` and `high` once every `swellSeconds` (loudest on the section's
// even downbeats) and fading over kEdgeSeconds at the span's edges. Centred, dry and past
// the compressor, so that nothing else in the mix moves its level.
void glideLine(Bus& bus, const Span& span, const std::vector<LineNote>& notes, float low,
               float high, double swellSeconds) {
  constexpr double kGlideSeconds = 0.08;  // time constant of the portamento
  constexpr double kEdgeSeconds = 0.5;
  const double glide = 1.0 - std::exp(-1.0 / (kGlideSeconds * kSampleRate));
  size_t next = 0;
  double hz = 0.0, phase = 0.0;
  eachFrame(span, [&](int64_t frame, double t) {
    while (next < notes.size() && notes[next].start <= t) ++next;
    if (next == 0) return;
    double target = midiToHz(notes[next - 1].midi);
    hz = hz == 0.0 ? target : hz + (target - hz) * glide;
    phase += hz / kSampleRate;
    phase -= std::floor(phase);
    double swell = 0.5 + 0.5 * std::cos(2.0 * kPi * t / swellSeconds);
    double edge = std::min(1.0, std::min(t - span.start, span.end - t) / kEdgeSeconds);
    double level = (low + (high - low) * swell) * (0.5 - 0.5 * std::cos(kPi * edge));
    double x = 2.0 * kPi * phase;
    double wave = std::sin(x) - std::sin(3.0 * x) / 9.0 + std::sin(5.0 * x) / 25.0;
    bus.steady.add(frame, static_cast<float>(level * wave), static_cast<float>(level * wave));
  });
}

// Pad chords bar by bar, cut to the span.
void padBars(Bus& bus, const Span& span, int low, int high, float velocity, double brightness) {
  for (int bar = span.firstBar(); bar <= span.lastBar(); ++bar) {
    double t = std::max(barTime(bar), span.start);
    double length = span.clip(t, barTime(bar + 1) - t);
    pad(bus, t, length, voicing(chordOfBar(bar), low, high), velocity, brightness);
  }
}

// Up-and-down arpeggio of the bar's chord on bells (no partial above `bellCeilingHz`), a
// note every `stepsPerNote` sixteenths.
void arpeggio(Bus& bus, const Span& span, int fromBar, int toBar, int low, int high,
              int stepsPerNote, float velocity, const Placement& place,
              double bellCeilingHz = 1e9) {
  for (int bar = std::max(fromBar, span.firstBar()); bar <= std::min(toBar, span.lastBar());
       ++bar) {
    std::vector<int> up = voicing(chordOfBar(bar), low, high);
    if (up.empty()) continue;
    std::vector<int> cycle = up;
    for (size_t i = up.size() - 1; i-- > 1;) cycle.push_back(up[i]);
    for (int step = 0, n = 0; step < kStepsPerBar; step += stepsPerNote, ++n) {
      double t = stepTime(bar, step);
      if (!span.holds(t)) continue;
      float accent = step % 4 == 0 ? 1.0f : 0.7f;
      double length = span.clip(t, stepsPerNote * kBarSeconds / kStepsPerBar * 0.8);
      bell(bus, t, length, cycle[n % cycle.size()], velocity * accent, place, bellCeilingHz);
    }
  }
}

// Levels (velocities are the loudness of a note's fundamental, full scale 1)
constexpr float kHatAccent = 0.5f;
constexpr float kHatSoft = 0.22f;
constexpr float kHatOpen = 0.5f;
constexpr float kKick = 0.7f;
constexpr float kSnare = 0.55f;

// The resonant bass of several sections.
Patch bassPatch(double cutoffHz, double boost, Envelope amp = {0.004, 0.3, 0.6, 0.03},
                Wave wave = Wave::Saw) {
  return {wave, amp, cutoffHz, boost, 0.08, 1.4};
}

// The root of each bar's chord from `low` up, held for the bar (cut to the span).
void barRoots(Bus& bus, const Span& span, const Patch& patch, int low, float velocity) {
  for (int bar = span.firstBar(); bar <= span.lastBar(); ++bar) {
    double t = std::max(barTime(bar), span.start);
    note(bus, patch, t, span.clip(t, barTime(bar + 1) - t), rootFrom(chordOfBar(bar), low),
         velocity, {});
  }
}

// Drum hits of a pattern: 'X' accent, 'x' normal, 'o' open hat.
void hats(Bus& bus, Pcg32& rng, const Span& span, int fromBar, int toBar, const char* steps,
          float scale) {
  pattern(span, fromBar, toBar, steps, [&](double t, int, int step, char symbol) {
    float pan = step % 2 ? 0.2f : -0.1f;
    float level = symbol == 'o' ? kHatOpen : symbol == 'X' ? kHatAccent : kHatSoft;
    hat(bus, rng, t, level * scale, symbol == 'o' ? kOpenHatDecay : kClosedHatDecay,
        {pan, kHatReverb, 0.0f});
  });
}

void kicks(Bus& bus, const Span& span, int fromBar, int toBar, const char* steps, float scale,
           double sweepHz = kKickSweepHz) {
  pattern(span, fromBar, toBar, steps, [&](double t, int, int, char symbol) {
    kick(bus, t, kKick * scale * (symbol == 'X' ? 1.0f : 0.8f), sweepHz);
  });
}

void snares(Bus& bus, Pcg32& rng, const Span& span, int fromBar, int toBar, const char* steps,
            float scale) {
  pattern(span, fromBar, toBar, steps, [&](double t, int, int, char symbol) {
    snare(bus, rng, t, kSnare * scale * (symbol == 'X' ? 1.0f : 0.6f));
  });
}

// Bass notes on the pattern's steps, the chord root from `low` up, each lasting until the next.
void bassLine(Bus& bus, const Span& span, int fromBar, int toBar, const char* steps, int low,
              float velocity, const Patch& patch) {
  pattern(span, fromBar, toBar, steps, [&](double t, int bar, int step, char symbol) {
    int next = step + 1;
    while (next < kStepsPerBar && steps[next] == '.') ++next;
    double length = span.clip(t, (next - step) * kBarSeconds / kStepsPerBar * 0.9);
    float accent = symbol == 'X' ? 1.0f : 0.75f;
    note(bus, patch, t, length, rootFrom(chordOfBar(bar), low), velocity * accent, {});
  });
}

// Sections

void opening(Bus& bus, Pcg32& rng) {
  const Span span = section(0);
  constexpr int kGrooveBar = 4;  // 10.43 s
  // Pad fading in over the first two bars.
  for (int bar = 0; bar <= span.lastBar(); ++bar) {
    double t = barTime(bar);
    float fade = std::min(1.0f, (bar + 1) / 2.0f);
    pad(bus, t, span.clip(t, kBarSeconds), voicing(chordOfBar(bar), 57, 69), 0.04f * fade, 1200.0);
  }
  kicks(bus, span, 0, kGrooveBar - 1, "x.......x.......", 0.4f);
  // Accents (beat, bell note) at 2.28, 4.57, 4.89, 7.17 and 7.50 s: a hat and a bell.
  static const std::pair<double, int> kAccents[] = {
      {3.5, 76}, {7.0, 81}, {7.5, 79}, {11.0, 84}, {11.5, 83}};
  for (const auto& [beat, midi] : kAccents) {
    hat(bus, rng, beat * kBeatSeconds, 0.55f, kOpenHatDecay, {0.0f, kHatReverb, 0.0f});
    bell(bus, beat * kBeatSeconds, 0.6, midi, 0.2f, Placement{0.1f, 0.3f, 0.35f});
  }
  hats(bus, rng, span, 2, kGrooveBar - 1, "....x.......x...", 0.5f);
  hat(bus, rng, 15.5 * kBeatSeconds, kHatOpen, kOpenHatDecay, {0.0f, kHatReverb, 0.0f});  // pickup

  kicks(bus, span, kGrooveBar, 99, "X.........x..x..", 0.85f);
  snares(bus, rng, span, kGrooveBar, 99, "....X.......X...", 1.0f);
  hats(bus, rng, span, kGrooveBar, 99, "XxXxXxXxXxXxXxoX", 1.0f);
  bassLine(bus, span, kGrooveBar, 99, "X..x..X...X..x..", 45, 0.3f, bassPatch(400.0, 3.0));
  arpeggio(bus, span, 6, 99, 69, 81, 2, 0.14f, Placement{0.2f, 0.3f, 0.35f});
  riser(bus, rng, 40 * kBeatSeconds, span.end, 0.15f);
}

constexpr double kSpectrumSeconds = 1024.0 / kSampleRate;  // the window before a spectrum
// While no word is shown the finished mix loses kStarsCutLowHz-kStarsCutHighHz, fading
// over kStarsCutEdgeHz either side (see starsBand); voices there stay under it.
constexpr double kStarsCutLowHz = 860.0;
constexpr double kStarsCutHighHz = 2500.0;
constexpr double kStarsCutEdgeHz = 40.0;

void words(Bus& bus, Pcg32& rng) {
  const Span span = section(1);
  constexpr int kLeadBar = 16;  // 41.74 s, with the first word (kFirstWordStart)
  crash(bus, rng, span.start, 0.35f);
  // 172-387 Hz (bins 4-8) carry one legato line alone: the scene turns its camera with
  // this band, so it swells and glides. Pad and pulse sit from 440 Hz up; sub and kick stay
  // below 110 Hz, leaking only a steady few hundredths into bin 4.
  std::vector<LineNote> line;
  for (int bar = span.firstBar(); bar <= span.lastBar(); ++bar) {
    line.push_back({std::max(barTime(bar), span.start), nearestChordTone(chordOfBar(bar), 58)});
  }
  glideLine(bus, span, line, 0.12f, 0.3f, 2.0 * kBarSeconds);
  padBars(bus, span, 69, 79, 0.1f, 550.0);
  const Patch pulse{Wave::Triangle, {0.005, 0.25, 0.45, 0.05}, 600.0, 0.8, 0.06};
  pattern(span, 0, 99, "X.x.X.x.X.x.X.x.", [&](double t, int bar, int, char symbol) {
    double length = span.clip(t, kBarSeconds / 8 * 0.9);
    float velocity = symbol == 'X' ? 0.3f : 0.2f;
    note(bus, pulse, t, length, rootFrom(chordOfBar(bar), 69), velocity, {0.0f, 0.15f, 0.0f});
  });
  barRoots(bus, span, bassPatch(300.0, 0.0, {0.02, 1.0, 0.8, 0.2}, Wave::Sine), 36, 0.2f);
  // A kick that stays below 100 Hz, two bins under the line's band.
  constexpr double kLowKickSweepHz = 50.0;
  kicks(bus, span, 0, 99, "X.......X.......", 0.4f, kLowKickSweepHz);
  snares(bus, rng, span, 0, 99, "........x.......", 0.5f);
  hats(bus, rng, span, 0, 99, "x.x.x.x.x.x.x.x.", 0.4f);

  // 1-2 kHz blurs the stars and lights the words. While the words (41.687-58.737 s) are
  // shown the lead and an arpeggio in B5-A6 keep it near 0.2; before and after, the arpeggio
  // plays G4-G5 with its partials under starsBand's cut, so that none of its notes is lost.
  const Span shown{barTime(kLeadBar), kLastWordEnd};
  constexpr double kBelowCutHz = kStarsCutLowHz - kStarsCutEdgeHz;
  const Placement arpPlace{-0.15f, 0.3f, 0.3f};
  arpeggio(bus, Span{span.start, shown.start}, 0, 99, 67, 79, 2, 0.16f, arpPlace, kBelowCutHz);
  arpeggio(bus, shown, 0, 99, 83, 93, 2, 0.12f, arpPlace);
  arpeggio(bus, Span{shown.end, span.end}, 0, 99, 67, 79, 2, 0.16f, arpPlace, kBelowCutHz);
  // Six and a half bars, from the first word to the last.
  static const MelodyNote kLead[] = {
      {0, 1.5, 88},  {1.5, 0.5, 86},  {2, 1, 84},     {3, 1, 88},                      // Am
      {4, 1, 89},    {5, 1, 88},      {6, 2, 84},                                      // F
      {8, 1, 91},    {9, 0.5, 88},    {9.5, 0.5, 91}, {10, 1, 93},   {11, 1, 91},      // C
      {12, 2, 86},   {14, 1, 83},     {15, 1, 86},                                     // G
      {16, 1, 93},   {17, 1, 91},     {18, 1, 88},    {19, 0.5, 91}, {19.5, 0.5, 93},  // Am
      {20, 1.5, 93}, {21.5, 0.5, 91}, {22, 2, 89},                                     // F
      {24, 1, 88},   {25, 0.75, 84},                                                   // C
  };
  Patch lead{Wave::Triangle, {0.015, 0.3, 0.35, 0.12}};
  lead.vibrato = 0.003;
  melody(bus, shown, kLeadBar, kLead, 0, 0.38f, &lead, Placement{0.1f, 0.3f, 0.3f});
}

constexpr double kHzPerBin = static_cast<double>(kMixRate) / kSpectrumWindow;

// The spectrum bins [low, high) that the show reads for the band lowHz..highHz.
struct BinRange {
  int low = 0;
  int high = 0;
  BinRange(int lowHz, int highHz) { MusicStream::bandToBins(lowHz, highHz, low, high); }
};

// The cloud scene's 100 Hz band `band` (100 band .. 100 band + 100 Hz).
BinRange cloudBand(int band) { return {100 * band, 100 * band + 100}; }

// The cloud scene's glow follows 500-1000 Hz: only the stabs may sound there.
const BinRange kGlowBins(500, 1000);

// A sine this many bins away from a bin leaks under 3.2 % of its level into it through the
// show's Hann window; a tone at least this far outside the glow band leaves it near silent.
constexpr double kGuardBins = 1.85;

// The harmonic of `rootHz` with the lowest score(bin, centre) among those whose nearest
// bin is one of the cloud band `band`'s (bin fractional, centre the band's middle bin);
// the one nearest the centre when no harmonic falls in the band.
template <typename Score>
double bestHarmonic(double rootHz, int band, Score score) {
  const BinRange bins = cloudBand(band);
  const double centre = 0.5 * (bins.low + bins.high - 1);
  double best = 0.0, bestScore = 1e9;
  for (int h = 1; h * rootHz / kHzPerBin < bins.high; ++h) {
    const double bin = h * rootHz / kHzPerBin;
    if (bin < bins.low - 0.5 || bin >= bins.high - 0.5) continue;
    const double value = score(bin, centre);
    if (value < bestScore) {
      bestScore = value;
      best = h * rootHz;
    }
  }
  return best > 0.0 ? best : rootHz * std::max(1.0, std::round(centre * kHzPerBin / rootHz));
}

// The harmonic nearest the band's centre among those that keep kGuardBins from the glow
// band; when none does, the one farthest from the glow band.
double overtoneInBand(double rootHz, int band) {
  return bestHarmonic(rootHz, band, [](double bin, double centre) {
    const double away = std::max(kGlowBins.low - bin, bin - (kGlowBins.high - 1));
    // Tones inside the guard score above any tone outside it; farther is better there.
    return away >= kGuardBins ? std::fabs(bin - centre) : 100.0 - away;
  });
}

// The bar's root in the cloud section's overtone register (F1-E2, 44-82 Hz).
double overtoneRootHz(double t) {
  return midiToHz(rootFrom(chordOfBar(static_cast<int>(t / kBarSeconds)), 29));
}

// Gain that dips to 1 - depth while any of the accents (start times in seconds, sorted)
// sounds, for `length` seconds from each start, with 5 ms ramps: the voices under an accent
// make room for it, so the limiter need not turn the accent down with them.
struct Ducking {
  std::vector<double> starts;
  double length = 0.0;
  double depth = 0.0;
  double gain(double t) const {
    constexpr double kRampSeconds = 0.005;
    auto next = std::upper_bound(starts.begin(), starts.end(), t + kRampSeconds);
    if (next == starts.begin()) return 1.0;
    const double since = t - *(next - 1);  // from the latest accent, -ramp .. inf
    double inside = since < 0.0 ? 1.0 + since / kRampSeconds
                                : 1.0 - std::max(0.0, since - length) / kRampSeconds;
    return 1.0 - depth * std::clamp(inside, 0.0, 1.0);
  }
};

constexpr double kOvertoneGlideSeconds = 0.012;
constexpr double kGateSmoothing = 0.01;  // one-pole coefficient per sample, about 2 ms

// The sixteenth of the piece that holds t, and an overtone arpeggio's gate there: the
// step's peak from the pattern ('X' 1, 'x' 0.85, '.' 0.7), decaying to `floor` of it.
struct ArpeggioStep {
  int64_t index;
  double gate;
};
ArpeggioStep arpeggioStep(double t, const char* gates, double floor) {
  constexpr double kGateDecay = 0.12;  // seconds
  const double sixteenth = kBarSeconds / kStepsPerBar;
  auto step = static_cast<int64_t>(std::floor(t / sixteenth));
  char symbol = gates[step % kStepsPerBar];
  double peak = symbol == 'X' ? 1.0 : symbol == 'x' ? 0.85 : 0.7;
  double inStep = t - step * sixteenth;
  return {step, peak * (floor + (1.0 - floor) * std::exp(-inStep / kGateDecay))};
}

// An overtone arpeggio: a sine voice that plays, one sixteenth at a time, the harmonic of
// the chord root chosen by overtoneInBand for the next band of `bands`, gliding between
// them. Each band of the cycle gets the same share of the steps, so in the cloud scene's
// spectrum display the bands light up in turn; the gate per step is arpeggioStep's.
void overtoneArpeggio(Bus& bus, const Span& span, const std::vector<int>& bands, const char* gates,
                      float velocity, const Placement& place, const Ducking& duck) {
  const double glide = 1.0 - std::exp(-1.0 / (kOvertoneGlideSeconds * kSampleRate));
  double hz = 0.0, phase = 0.0, gate = 0.0;
  eachFrame(span, [&](int64_t frame, double t) {
    const ArpeggioStep step = arpeggioStep(t, gates, 0.6);
    double target = overtoneInBand(overtoneRootHz(t), bands[step.index % bands.size()]);
    hz = hz == 0.0 ? target : hz + (target - hz) * glide;
    gate += (step.gate - gate) * kGateSmoothing;
    phase += hz / kSampleRate;
    phase -= std::floor(phase);
    double fade = std::min(1.0, std::min(t - span.start, span.end - t) / 0.01);
    emit(bus, frame,
         static_cast<float>(velocity * gate * fade * duck.gain(t) * std::sin(2.0 * kPi * phase)),
         place);
  });
}

// An overtone arpeggio over a held chord of the same overtones: one sine per band of
// `bands` (so held tone and arpeggio note never beat) on overtoneInBand's harmonic, held
// at `held` and dipping on every beat; the current sixteenth's band rises to the
// arpeggio's gate. Each band sounds throughout and peaks once per cycle.
void overtoneShimmer(Bus& bus, const Span& span, const std::vector<int>& bands, const char* gates,
                     float velocity, float held, const Placement& place, const Ducking& duck) {
  constexpr double kBeatDip = 0.4;        // the held level gives way to each kick by this share
  constexpr double kBeatRecovery = 0.15;  // seconds
  const double glide = 1.0 - std::exp(-1.0 / (kOvertoneGlideSeconds * kSampleRate));
  const size_t n = bands.size();
  std::vector<double> hz(n, 0.0), phase(n), gate(n, 0.0);
  for (size_t b = 0; b < n; ++b) phase[b] = static_cast<double>(b * (b + 1) / 2 % n) / n;
  eachFrame(span, [&](int64_t frame, double t) {
    const ArpeggioStep step = arpeggioStep(t, gates, 0.75);
    const size_t current = static_cast<size_t>(step.index % static_cast<int64_t>(n));
    double inBeat = std::fmod(t, kBeatSeconds);
    double base = held * (1.0 - kBeatDip * std::exp(-inBeat / kBeatRecovery));
    double fade = std::min(1.0, std::min(t - span.start, span.end - t) / 0.01);
    double rootHz = overtoneRootHz(t);
    double sum = 0.0;
    for (size_t b = 0; b < n; ++b) {
      double target = overtoneInBand(rootHz, bands[b]);
      hz[b] = hz[b] == 0.0 ? target : hz[b] + (target - hz[b]) * glide;
      double level = b == current ? std::max(base, velocity * step.gate) : base;
      gate[b] += (level - gate[b]) * kGateSmoothing;
      phase[b] += hz[b] / kSampleRate;
      phase[b] -= std::floor(phase[b]);
      sum += gate[b] * std::sin(2.0 * kPi * phase[b]);
    }
    emit(bus, frame, static_cast<float>(fade * duck.gain(t) * sum), place);
  });
}

// The harmonic nearest a bin of the cloud band `band` (the Hann window reads a tone
// between two bins 1.4 dB low), the one nearer the band's centre of two equally near.
double harmonicOnABin(double rootHz, int band) {
  return bestHarmonic(rootHz, band, [](double bin, double centre) {
    return std::fabs(bin - std::round(bin)) + 0.01 * std::fabs(bin - centre);
  });
}

// A dry chord of the root's harmonics, one on a bin of each of `bands`, held for `length`
// seconds and silent again about 0.1 s after it. Past the bus compressor, which would turn
// the whole mix down on every stab. Partials spread in phase peak well under n times one.
void overtoneStab(Bus& bus, double start, double length, double rootHz,
                  const std::vector<int>& bands, float velocity) {
  constexpr double kAttackSeconds = 0.003;
  constexpr double kReleaseSeconds = 0.015;  // time constant
  std::vector<double> partials;
  for (int band : bands) partials.push_back(harmonicOnABin(rootHz, band));
  const auto n = static_cast<double>(partials.size());
  eachFrame(frameAt(start), framesIn(length + kReleaseSeconds * 7.0), [&](int64_t frame, double t) {
    double sum = 0.0;
    for (size_t p = 0; p < partials.size(); ++p) {
      sum += std::sin(2.0 * kPi * partials[p] * t + kPi * p * (p + 1) / n);
    }
    double gate =
        t < length ? std::min(1.0, t / kAttackSeconds) : std::exp(-(t - length) / kReleaseSeconds);
    auto sample = static_cast<float>(velocity * gate * sum);
    bus.steady.add(frame, sample, sample);
  });
}

void cloud(Bus& bus, Pcg32& rng) {
  constexpr float kStabVelocity = 0.55f;
  constexpr double kStabDuckDepth = 0.6;
  const Span span = section(2);
  crash(bus, rng, span.start, 0.4f);
  // Below 200 Hz kick and bass; 0.17-0.45 kHz an overtone arpeggio; 1-1.9 kHz another over
  // a held chord, so all nine rectangles there move. Sparse, so the compressor leaves them.
  kicks(bus, span, 0, 99, "X...X...X...X...", 0.65f);
  snares(bus, rng, span, 0, 99, "....X.......X...", 0.45f);
  hats(bus, rng, span, 0, 99, "..o...o...o...o.", 0.4f);
  bassLine(bus, span, 0, 99, "..X...X...X...Xx", 31, 0.3f, bassPatch(180.0, 0.5));
  // 0.5-1 kHz: two off-beat overtone stabs per bar are the glow's accents; between them
  // the band is silent. The arpeggios duck under them.
  constexpr double kStabSeconds = 0.2;
  const char* stabSteps = "...X.......X....";
  Ducking duck{{}, kStabSeconds + 0.03, kStabDuckDepth};
  pattern(span, 0, 99, stabSteps, [&](double t, int, int, char) { duck.starts.push_back(t); });
  // Bands 2-4 (170-450 Hz) climbing, bands 18-10 (1.9-1 kHz) falling; both stay out of the
  // glow band, and neither sends to the effects there.
  overtoneArpeggio(bus, span, {2, 3, 4}, "X.x.X.xxX.x.X.xx", 0.55f, Placement{-0.2f, 0.15f, 0.25f},
                   duck);
  overtoneShimmer(bus, span, {18, 17, 16, 15, 14, 13, 12, 11, 10}, "x.X.x.X.x.X.x.Xx", 0.6f, 0.11f,
                  Placement{0.2f, 0.15f, 0.25f}, duck);
  // The stabs alternate between bands 5, 7, 9 and bands 6, 8: three partials or two peak
  // at about twice a partial's level, where all five would peak at three times.
  for (size_t s = 0; s < duck.starts.size(); ++s) {
    const double t = duck.starts[s];
    const std::vector<int> bands = s % 2 ? std::vector<int>{6, 8} : std::vector<int>{5, 7, 9};
    overtoneStab(bus, t, kStabSeconds, overtoneRootHz(t), bands, kStabVelocity);
  }
}

// A breakdown; no scene listens.
void columns(Bus& bus, Pcg32& rng) {
  const Span span = section(3);
  const int first = span.firstBar();  // 32
  padBars(bus, span, 57, 72, 0.06f, 1500.0);
  barRoots(bus, span, bassPatch(250.0, 0.0, {0.05, 1.5, 0.7, 0.4}, Wave::Sine), 38, 0.3f);
  static const MelodyNote kTune[] = {
      {0, 2, 81},  {2, 1, 77},  {3, 1, 74},   // Dm
      {4, 3, 76},  {7, 1, 72},                // Am
      {8, 2, 77},  {10, 2, 81},               // F
      {12, 2, 80}, {14, 1, 83}, {15, 1, 76},  // E
      {16, 2, 86}, {18, 1, 84}, {19, 1, 81},  // Dm
      {20, 2, 76}, {22, 2, 81},               // Am
      {24, 1, 84}, {25, 1, 81}, {26, 2, 77},  // F
      {28, 2, 76}, {30, 1, 80}, {31, 1, 83},  // E
  };
  melody(bus, span, first, kTune, 0, 0.25f, nullptr, Placement{-0.1f, 0.4f, 0.4f});
  hats(bus, rng, span, first + 2, 99, "..x...x...x...x.", 0.4f);
  kicks(bus, span, first + 6, first + 6, "x...x...x...x...", 0.55f);
  kicks(bus, span, first + 7, first + 7, "x.x.x.x.x.x.xxxx", 0.6f);
  riser(bus, rng, barTime(first + 6), span.end, 0.2f);
}

// Kick and bass in 43-390 Hz, a riff in 0.66-1.05 kHz, snare, hats and arpeggio in 1.2-4 kHz.
void tunnel(Bus& bus, Pcg32& rng) {
  const Span span = section(4);
  crash(bus, rng, span.start, 0.4f);
  kicks(bus, span, 0, 99, "X...X...X...X.x.", 0.65f);
  bassLine(bus, span, 0, 99, "x.xX.x.xx.xX.x.x", 31, 0.28f, bassPatch(700.0, 3.0));
  snares(bus, rng, span, 0, 99, "....X.......X...", 1.1f);
  hats(bus, rng, span, 0, 99, "xxXxxxoxxxXxxxox", 1.2f);
  // 0.66-1.05 kHz riff (E5-C6) on the chord of the bar.
  static const int kRiffNotes[4][6] = {{81, 84, 81, 79, 81, 76},
                                       {77, 81, 84, 81, 77, 79},
                                       {79, 84, 79, 76, 79, 84},
                                       {79, 83, 79, 77, 79, 83}};
  const Patch riff{Wave::Square, {0.004, 0.18, 0.3, 0.06}, 2200.0, 1.5, 0.06};
  const char* riffSteps = "X..x..X.X..x..x.";
  pattern(span, 0, 99, riffSteps, [&](double t, int bar, int step, char symbol) {
    int index = 0;
    for (int s = 0; s < step; ++s) index += riffSteps[s] != '.';
    float velocity = symbol == 'X' ? 0.45f : 0.34f;
    note(bus, riff, t, span.clip(t, kBarSeconds / 8 * 0.9), kRiffNotes[bar % 4][index], velocity,
         {0.1f, 0.15f, 0.15f});
  });
  arpeggio(bus, span, 0, 99, 88, 100, 2, 0.25f, Placement{-0.2f, 0.25f, 0.2f});
  padBars(bus, span, 57, 69, 0.03f, 1000.0);
}

void closing(Bus& bus, Pcg32& rng) {
  const Span span = section(5);
  const int first = span.firstBar();  // 48
  // 2.97-3.92 kHz (bins 69-91): only dry, short hats; bells stop below 2.8 kHz. Every
  // frame with the band above 0.02 blurs the picture to white, so while the logo is in view
  // (until kClosingLogoGone) hats flash about five frames on beats 1 and 3 only; eighths
  // carry the show out from the first bar after it (bar 54, 140.87 s).
  constexpr double kTickDecay = 0.015;  // seconds
  constexpr double kOutroDecay = 0.06;
  const int outroBar = static_cast<int>(std::ceil(kClosingLogoGone / kBarSeconds));
  constexpr double kBellCeilingHz = 2800.0;
  const Placement hatPlace{-0.1f, 0.0f, 0.0f};
  pattern(span, 0, outroBar - 1, "X.......x.......", [&](double t, int, int, char symbol) {
    hat(bus, rng, t, symbol == 'X' ? 1.0f : 0.8f, kTickDecay, hatPlace);
  });
  pattern(span, outroBar, 99, "X.x.X.x.X.x.X.x.", [&](double t, int, int step, char symbol) {
    float velocity = symbol == 'X' ? 1.0f : 0.85f;
    hat(bus, rng, t, velocity, kOutroDecay, Placement{step % 8 ? 0.2f : -0.1f, 0.0f, 0.0f});
  });
  kicks(bus, span, first, first + 3, "X.......X.......", 0.8f);
  padBars(bus, span, 57, 69, 0.07f, 1100.0);
  const Patch low = bassPatch(300.0, 0.5, {0.02, 1.0, 0.7, 0.3});
  for (int bar = first; bar <= span.lastBar(); ++bar) {
    double t = barTime(bar);
    note(bus, low, t, span.clip(t, kBarSeconds), rootFrom(chordOfBar(bar), 40), 0.25f, {});
  }
  static const MelodyNote kEcho[] = {
      {0, 1.5, 88}, {1.5, 0.5, 86}, {2, 1, 84},  {3, 1, 88},  {4, 1, 89},  {5, 1, 88},  {6, 2, 84},
      {8, 1, 91},   {10, 1, 93},    {11, 1, 91}, {12, 3, 86}, {16, 1, 93}, {17, 1, 91}, {18, 1, 88},
      {20, 2, 89},  {22, 2, 84},    {24, 2, 88}, {26, 2, 84}, {28, 4, 81},
  };
  melody(bus, span, first, kEcho, -12, 0.25f, nullptr, Placement{0.15f, 0.4f, 0.4f},
         kBellCeilingHz);
  // The tail after the show: a last A minor chord and bell.
  const double end = span.end;
  const int lastBar = static_cast<int>(std::ceil(end / kBarSeconds));
  const double tailStart = barTime(lastBar);
  pad(bus, tailStart, 2.5, {57, 60, 64, 69}, 0.1f, 1000.0);
  bell(bus, tailStart, 2.0, 69, 0.25f, Placement{0.0f, 0.5f, 0.3f});
}

// The word scene's 1-2 kHz band while no word is shown must read 0.0004-0.004 in every
// frame (0.0025 after kWordBandModeStart), to keep its stars sharp points, and never 0, or
// the scene feeds its last picture back. So the band (and an edge either side, keeping the
// Hann leakage of neighbours near 1e-4) is cut from the finished mix, and a faint, steady
// pedal A6 alone sounds there. Each quiet stretch starts one spectrum window before the
// scene reads it and ends before the lead (41.74 s) or the cloud (63 s).
void starsBand(StereoBuffer& out) {
  constexpr double kRampSeconds = 0.01;
  constexpr double kPedalHz = 1760.0;  // A6, 0.13 bins off bin 41: reads 0.99 of its level
  // Reads about 0.0013 in the decoded MP3; the cut's rest and the codec move it < 0.0011.
  constexpr double kPedalLevel = 0.0014;
  const double cloudStart = kSectionStarts[2];
  const Span quiet[] = {
      {kSectionStarts[1] - kSpectrumSeconds - kRampSeconds, kFirstWordStart},
      {kLastWordEnd - kSpectrumSeconds - kRampSeconds, cloudStart - kRampSeconds},
  };
  for (const Span& s : quiet) {
    removeBand(out, s.start, s.end, kRampSeconds, kStarsCutLowHz, kStarsCutHighHz, kStarsCutEdgeHz);
  }
  // One tone through the section, never starting under the stars; 40 dB under the lead.
  const Span pedal{quiet[0].start - kRampSeconds, cloudStart};
  eachFrame(pedal, [&](int64_t frame, double t) {
    const double edge = std::min(1.0, std::min(t - pedal.start, pedal.end - t) / kRampSeconds);
    const double level = kPedalLevel * (0.5 - 0.5 * std::cos(kPi * edge));
    const auto sample =
        static_cast<float>(level * std::sin(2.0 * kPi * kPedalHz * (t - pedal.start)));
    out.add(frame, sample, sample);
  });
}

}  // namespace

StereoBuffer renderMusic(uint64_t seed) {
  constexpr float kReverbReturn = 0.4f;
  constexpr float kEchoReturn = 0.6f;
  constexpr float kEchoFeedback = 0.35f;
  constexpr float kCompressorThreshold = 0.6f;
  constexpr float kCompressorRatio = 3.0f;
  constexpr double kFadeInSeconds = 0.005;
  constexpr double kFadeOutSeconds = 3.0;
  const auto frames = static_cast<size_t>(kMusicSeconds * kSampleRate);
  Bus bus(frames);
  Pcg32 rng(seed);
  opening(bus, rng);
  words(bus, rng);
  cloud(bus, rng);
  columns(bus, rng);
  tunnel(bus, rng);
  closing(bus, rng);

  applyReverb(bus.reverb, 0.8f, 0.3f);
  applyEcho(bus.echo, 0.75 * kBeatSeconds, kEchoFeedback);
  StereoBuffer out(frames);
  const double fadeOutStart = kMusicSeconds - kFadeOutSeconds;
  auto fadeAt = [&](size_t i) {
    double t = static_cast<double>(i) / kSampleRate;
    double fade = std::min(1.0, t / kFadeInSeconds);
    if (t > fadeOutStart) fade *= std::max(0.0, (kMusicSeconds - t) / kFadeOutSeconds);
    return static_cast<float>(fade);
  };
  for (size_t i = 0; i < frames; ++i) {
    float f = fadeAt(i);
    out.left[i] =
        f * (bus.dry.left[i] + kReverbReturn * bus.reverb.left[i] + kEchoReturn * bus.echo.left[i]);
    out.right[i] = f * (bus.dry.right[i] + kReverbReturn * bus.reverb.right[i] +
                        kEchoReturn * bus.echo.right[i]);
  }
  // Gentle bus compression takes the coincident peaks (kick under bass and lead), the
  // limiter only what slips through its attack. The steady voices join after it.
  applyCompressor(out, kCompressorThreshold, kCompressorRatio, 0.002, 0.15);
  for (size_t i = 0; i < frames; ++i) {
    float f = fadeAt(i);
    out.left[i] += f * bus.steady.left[i];
    out.right[i] += f * bus.steady.right[i];
  }
  // Before the limiter, so that its ceiling holds for the mix as it is finally heard.
  starsBand(out);
  applyTruePeakLimiter(out, kTruePeakCeiling, kLimiterLookaheadSeconds, kLimiterReleaseSeconds);
  return out;
}

MixReport inspectMix(const StereoBuffer& music) {
  MixReport report;
  double sum = 0.0;
  for (size_t i = 0; i < music.frames(); ++i) {
    double t = static_cast<double>(i) / kSampleRate;
    size_t section = 0;
    while (section + 1 < kSections && t >= kSectionStarts[section + 1]) ++section;
    for (float sample : {music.left[i], music.right[i]}) {
      float magnitude = std::fabs(sample);
      bool limited = magnitude > kLimiterKnee;
      report.peak = std::max(report.peak, magnitude);
      report.limitedSamples += limited;
      report.sectionPeak[section] = std::max(report.sectionPeak[section], magnitude);
      report.sectionLimited[section] += limited;
      sum += static_cast<double>(sample) * sample;
    }
  }
  if (music.frames()) report.rms = static_cast<float>(std::sqrt(sum / (2.0 * music.frames())));
  report.truePeak = static_cast<float>(truePeak(music.left, music.right));
  return report;
}
