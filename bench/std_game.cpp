// Rocks: a game of the size and kind people write in the playground, on tavlo.h and
// the standard headers such programs include (<vector>, <string>, <algorithm>,
// <cmath>, <cstdio>). Steer the ship with Left and Right, thrust with Up, fire
// with Space; q quits. bench/web_figures.mjs compiles it in the playground and
// natively and prints both times: the program is the measure, not a test.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tavlo.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int half_width = 290;
constexpr int half_height = 235;
constexpr int max_bullets = 8;
constexpr int start_rocks = 5;

struct Vec {
    double x = 0, y = 0;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
Vec operator*(Vec a, double k) {
    return {a.x * k, a.y * k};
}
double length(Vec a) {
    return std::sqrt(a.x * a.x + a.y * a.y);
}
Vec rotated(Vec a, double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    return {a.x * c - a.y * s, a.x * s + a.y * c};
}

// Wraps a position around the visible field, as the old arcade games did.
Vec wrapped(Vec p) {
    if (p.x < -half_width) p.x += 2 * half_width;
    if (p.x > half_width) p.x -= 2 * half_width;
    if (p.y < -half_height) p.y += 2 * half_height;
    if (p.y > half_height) p.y -= 2 * half_height;
    return p;
}

// Its own generator: the same game on every machine.
struct Random {
    unsigned state = 2024;
    unsigned next() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    }
    double unit() { return (next() % 10000) / 10000.0; }
    double between(double low, double high) { return low + (high - low) * unit(); }
};

struct Ship {
    Vec position;
    Vec velocity;
    double angle = pi / 2;
    bool thrusting = false;
    int lives = 3;
    int safe_ticks = 40;  // invulnerable for a while after appearing
};

struct Bullet {
    Vec position;
    Vec velocity;
    int ticks_left = 30;
};

struct Rock {
    Vec position;
    Vec velocity;
    double radius = 30;
    double spin = 0;
    double angle = 0;
    std::vector<double> outline;  // the distance of each corner from the centre, in radii
};

struct Spark {
    Vec position;
    Vec velocity;
    int ticks_left = 12;
    int color = Color::Orange;
};

struct Game {
    Ship ship;
    std::vector<Bullet> bullets;
    std::vector<Rock> rocks;
    std::vector<Spark> sparks;
    std::vector<int> scores;  // the best scores of this session, highest first
    Random random;
    int score = 0;
    int level = 1;
    bool over = false;
    bool turning_left = false, turning_right = false;
    std::string message;
};

Rock make_rock(Random& random, Vec position, double radius) {
    Rock rock;
    rock.position = position;
    double direction = random.between(0, 2 * pi);
    double speed = random.between(0.6, 2.2) * (40.0 / radius);
    rock.velocity = rotated({speed, 0}, direction);
    rock.radius = radius;
    rock.spin = random.between(-0.05, 0.05);
    int corners = 7 + int(random.next() % 5);
    for (int i = 0; i < corners; ++i) rock.outline.push_back(random.between(0.7, 1.1));
    return rock;
}

void start_level(Game& game) {
    game.rocks.clear();
    game.bullets.clear();
    for (int i = 0; i < start_rocks + game.level - 1; ++i) {
        Vec where;
        do {
            where = {game.random.between(-half_width, half_width),
                     game.random.between(-half_height, half_height)};
        } while (length(where - game.ship.position) < 120);
        game.rocks.push_back(make_rock(game.random, where, 34));
    }
    game.message = "level " + std::to_string(game.level);
}

void new_game(Game& game) {
    Random random = game.random;
    std::vector<int> scores = game.scores;
    game = Game{};
    game.random = random;
    game.scores = scores;
    start_level(game);
}

void burst(Game& game, Vec where, int count, int color) {
    for (int i = 0; i < count; ++i) {
        Spark spark;
        spark.position = where;
        spark.velocity = rotated({game.random.between(1, 4), 0}, game.random.between(0, 2 * pi));
        spark.ticks_left = 8 + int(game.random.next() % 10);
        spark.color = color;
        game.sparks.push_back(spark);
    }
}

void record_score(Game& game) {
    game.scores.push_back(game.score);
    std::sort(game.scores.begin(), game.scores.end(), std::greater<int>());
    if (game.scores.size() > 5) game.scores.resize(5);
    char line[80];
    std::snprintf(line, sizeof line, "game over: %d points, level %d", game.score, game.level);
    game.message = line;
    log_printf("%s\n", line);
}

void fire(Game& game) {
    if (game.over || int(game.bullets.size()) >= max_bullets) return;
    Bullet bullet;
    Vec nose = rotated({14, 0}, game.ship.angle);
    bullet.position = game.ship.position + nose;
    bullet.velocity = game.ship.velocity + rotated({7, 0}, game.ship.angle);
    game.bullets.push_back(bullet);
}

void split(Game& game, std::size_t index) {
    Rock rock = game.rocks[index];
    game.rocks.erase(game.rocks.begin() + long(index));
    game.score += rock.radius > 30 ? 20 : rock.radius > 15 ? 50 : 100;
    burst(game, rock.position, 10, Color::Gold);
    if (rock.radius > 12) {
        for (int i = 0; i < 2; ++i)
            game.rocks.push_back(make_rock(game.random, rock.position, rock.radius / 2));
    }
}

void move_ship(Game& game) {
    Ship& ship = game.ship;
    if (game.turning_left) ship.angle += 0.12;
    if (game.turning_right) ship.angle -= 0.12;
    if (ship.thrusting) ship.velocity = ship.velocity + rotated({0.35, 0}, ship.angle);
    ship.velocity = ship.velocity * 0.985;
    double speed = length(ship.velocity);
    if (speed > 8) ship.velocity = ship.velocity * (8 / speed);
    ship.position = wrapped(ship.position + ship.velocity);
    if (ship.safe_ticks > 0) --ship.safe_ticks;
}

void step(Game& game) {
    if (game.over) return;
    move_ship(game);
    for (Bullet& bullet : game.bullets) {
        bullet.position = wrapped(bullet.position + bullet.velocity);
        --bullet.ticks_left;
    }
    game.bullets.erase(std::remove_if(game.bullets.begin(), game.bullets.end(),
                                      [](const Bullet& b) { return b.ticks_left <= 0; }),
                       game.bullets.end());
    for (Rock& rock : game.rocks) {
        rock.position = wrapped(rock.position + rock.velocity);
        rock.angle += rock.spin;
    }
    for (Spark& spark : game.sparks) {
        spark.position = spark.position + spark.velocity;
        spark.velocity = spark.velocity * 0.9;
        --spark.ticks_left;
    }
    game.sparks.erase(std::remove_if(game.sparks.begin(), game.sparks.end(),
                                     [](const Spark& s) { return s.ticks_left <= 0; }),
                      game.sparks.end());
    // Bullets against rocks: the first rock a bullet is inside breaks.
    for (std::size_t b = 0; b < game.bullets.size(); ++b) {
        for (std::size_t r = 0; r < game.rocks.size(); ++r) {
            if (length(game.bullets[b].position - game.rocks[r].position) < game.rocks[r].radius) {
                game.bullets[b].ticks_left = 0;
                split(game, r);
                break;
            }
        }
    }
    // The ship against rocks.
    if (game.ship.safe_ticks == 0) {
        for (const Rock& rock : game.rocks) {
            if (length(game.ship.position - rock.position) < rock.radius + 8) {
                burst(game, game.ship.position, 24, Color::Red);
                if (--game.ship.lives == 0) {
                    game.over = true;
                    record_score(game);
                } else {
                    game.ship.position = {};
                    game.ship.velocity = {};
                    game.ship.safe_ticks = 60;
                }
                break;
            }
        }
    }
    if (game.rocks.empty()) {
        ++game.level;
        start_level(game);
    }
}

int screen_x(double x) {
    return int(std::lround(x));
}
int screen_y(double y) {
    return int(std::lround(y));
}

void draw_rock(const Rock& rock) {
    std::size_t n = rock.outline.size();
    for (std::size_t i = 0; i < n; ++i) {
        double a0 = rock.angle + 2 * pi * double(i) / double(n);
        double a1 = rock.angle + 2 * pi * double(i + 1) / double(n);
        Vec p0 = rock.position + rotated({rock.radius * rock.outline[i], 0}, a0);
        Vec p1 = rock.position + rotated({rock.radius * rock.outline[(i + 1) % n], 0}, a1);
        draw_line(Color::Gray50, screen_x(p0.x), screen_y(p0.y), screen_x(p1.x), screen_y(p1.y), 2);
    }
}

void draw_ship(const Game& game) {
    const Ship& ship = game.ship;
    if (game.over || (ship.safe_ticks > 0 && ship.safe_ticks % 4 < 2)) return;
    Vec nose = ship.position + rotated({14, 0}, ship.angle);
    Vec left = ship.position + rotated({-10, 8}, ship.angle);
    Vec right = ship.position + rotated({-10, -8}, ship.angle);
    draw_triangle(Color::NavyBlue, screen_x(nose.x), screen_y(nose.y), screen_x(left.x),
                  screen_y(left.y), screen_x(right.x), screen_y(right.y), 0);
    if (ship.thrusting) {
        Vec flame = ship.position + rotated({-18, 0}, ship.angle);
        draw_line(Color::Orange, screen_x(flame.x), screen_y(flame.y), screen_x(ship.position.x),
                  screen_y(ship.position.y), 3);
    }
}

void draw(const Game& game) {
    clear_canvas();
    for (const Rock& rock : game.rocks) draw_rock(rock);
    for (const Bullet& bullet : game.bullets) {
        draw_oval(Color::Black, screen_x(bullet.position.x) - 2, screen_y(bullet.position.y) - 2,
                  screen_x(bullet.position.x) + 2, screen_y(bullet.position.y) + 2, 0);
    }
    for (const Spark& spark : game.sparks) {
        draw_pixel(spark.color, screen_x(spark.position.x), screen_y(spark.position.y));
    }
    draw_ship(game);
    std::string status = "score " + std::to_string(game.score) + "   lives " +
                         std::to_string(game.ship.lives) + "   " + game.message;
    print_text(Color::Black, -285, 220, 12, "%s", status.c_str());
    if (game.over) {
        std::string best = "best:";
        for (int s : game.scores) best += " " + std::to_string(s);
        print_text(Color::Red, -120, 0, 16, "GAME OVER - Home plays again");
        print_text(Color::Black, -120, -25, 12, "%s", best.c_str());
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    open_display(instance, previous, command_line, show);
    set_logging(0);
    enable_input(InputKind::SpecialKeys | InputKind::KeyRelease);
    Game game;
    new_game(game);
    draw(game);
    set_animation(AnimationMode::Animate);
    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = wait_event(&x, &y, &key);
        if (kind == EventKind::Quit || (kind == EventKind::Key && key == 'q')) break;
        if (kind == EventKind::Key && key == ' ') fire(game);
        if (kind == EventKind::SpecialKey || kind == EventKind::KeyUp) {
            bool down = kind == EventKind::SpecialKey;
            if (y == VirtualKey::Left) game.turning_left = down;
            if (y == VirtualKey::Right) game.turning_right = down;
            if (y == VirtualKey::Up) game.ship.thrusting = down;
            if (down && y == VirtualKey::Home) new_game(game);
        }
        if (kind == EventKind::Periodic) {
            step(game);
            draw(game);
        }
    }
    close_display();
    return 0;
}
