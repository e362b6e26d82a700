#include "formats/sample_track.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerLatUnit = 1.11;  // 0.00001 degree of latitude
constexpr double kHomeRadius = 200000;      // units; the drive turns back beyond ~2 degrees

// Uniform in [0, 1) from the raw generator, which (unlike the distributions) is the same
// everywhere.
class Random {
  public:
    explicit Random(uint32_t seed) : engine_(seed) {}
    double next() { return static_cast<double>(engine_()) / 4294967296.0; }
    double between(double lo, double hi) { return lo + (hi - lo) * next(); }
    bool chance(double p) { return next() < p; }

  private:
    std::mt19937 engine_;
};

TrackDateTime later(TrackDateTime t, uint32_t seconds) {
    uint32_t total = t.hour * 3600u + t.minute * 60u + t.second + seconds;
    uint32_t days = total / 86400;
    total %= 86400;
    t.hour = static_cast<uint16_t>(total / 3600);
    t.minute = static_cast<uint16_t>(total / 60 % 60);
    t.second = static_cast<uint16_t>(total % 60);
    // Days roll over within a 28-day month: good enough for sample data.
    uint32_t day = t.day - 1u + days;
    t.month = static_cast<uint16_t>((t.month - 1u + day / 28) % 12 + 1);
    t.day = static_cast<uint16_t>(day % 28 + 1);
    return t;
}

// The car between seconds of a drive: where it is (exactly, in units), where it heads, how
// fast, and what the driver is about.
class Car {
  public:
    Car(const SampleDriveOptions& options, Random& random)
        : random_(random),
          homeLng_(options.startLng),
          homeLat_(options.startLat),
          metresPerLngUnit_(kMetresPerLatUnit * std::cos(options.startLat * 0.00001 * kPi / 180)),
          x_(options.startLng),
          y_(options.startLat),
          heading_(random.between(0, 2 * kPi)) {}

    // One second on: the driver's choices, then the move.
    void drive() {
        if (stoppedFor_ > 0) {
            --stoppedFor_;
            speed_ = 0;
        } else {
            maybeCross();
            steer();
            speed_ += std::clamp(cruise_ - speed_, -3.0, 1.5);
        }
        x_ += speed_ * std::cos(heading_) / metresPerLngUnit_;
        y_ += speed_ * std::sin(heading_) / kMetresPerLatUnit;
    }
    double x() const { return x_; }
    double y() const { return y_; }

  private:
    // A crossing: a right angle either way, sometimes a light first.
    void maybeCross() {
        if (turnLeft_ != 0 || !random_.chance(0.004)) return;
        turnLeft_ = random_.chance(0.5) ? kPi / 2 : -kPi / 2;
        if (random_.chance(0.4)) stoppedFor_ = static_cast<int>(random_.between(10, 60));
        cruise_ = random_.chance(0.2) ? random_.between(22, 33) : random_.between(8, 17);
    }

    void steer() {
        if (turnLeft_ != 0) {
            double step = std::clamp(turnLeft_, -0.25, 0.25);
            heading_ += step;
            turnLeft_ = std::abs(turnLeft_ - step) < 1e-9 ? 0 : turnLeft_ - step;
            speed_ = std::min(speed_, 7.0);
        } else {
            heading_ += random_.between(-0.02, 0.02);  // bends of the road
        }
        // Far from home the roads lead back.
        double dx = x_ - homeLng_;
        double dy = y_ - homeLat_;
        if (dx * dx + dy * dy > kHomeRadius * kHomeRadius && turnLeft_ == 0)
            turnLeft_ = std::remainder(std::atan2(-dy, -dx) - heading_, 2 * kPi);
    }

    Random& random_;
    const int32_t homeLng_;
    const int32_t homeLat_;
    const double metresPerLngUnit_;
    double x_;
    double y_;
    double heading_;
    double speed_ = 0;     // metres per second
    double cruise_ = 14;   // speed the driver aims for on this road
    double turnLeft_ = 0;  // radians still to turn
    int stoppedFor_ = 0;   // seconds left at a light
};

}  // namespace

std::vector<TrackSegment> sampleDrive(const SampleDriveOptions& options) {
    Random random(options.seed);
    Car car(options, random);
    int32_t lastLng = options.startLng;
    int32_t lastLat = options.startLat;

    std::vector<TrackSegment> segments;
    const size_t perSegment = std::max<size_t>(options.pointsPerSegment, 1);
    for (size_t i = 0; i < options.points; ++i) {
        if (i % perSegment == 0) {
            TrackSegment s;
            s.lng = lastLng;
            s.lat = lastLat;
            s.lineId = static_cast<int32_t>(segments.size() + 1);
            s.start = later(options.start, static_cast<uint32_t>(i));
            s.steps.reserve(std::min(perSegment, options.points - i));
            segments.push_back(std::move(s));
        }
        car.drive();
        int32_t lng = static_cast<int32_t>(std::lround(car.x() + random.between(-3, 3)));
        int32_t lat = static_cast<int32_t>(std::lround(car.y() + random.between(-3, 3)));
        segments.back().steps.push_back({static_cast<int16_t>(lng - lastLng),
                                         static_cast<int16_t>(lat - lastLat),
                                         static_cast<uint16_t>(i % perSegment == 0 ? 0 : 1000)});
        lastLng = lng;
        lastLat = lat;
    }
    return segments;
}
