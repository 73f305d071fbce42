// A file of the small tree that the reference check reads (never compiled).
namespace room {

struct Relay {
  void Pass(int frame);
};

void Relay::Pass(int frame) { (void)frame; }

int Start() { return 0; }

}  // namespace room
