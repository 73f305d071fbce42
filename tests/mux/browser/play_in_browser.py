#!/usr/bin/env python3
"""Plays a video file in headless Chromium and reports what the page saw.

Usage: play_in_browser.py FOLDER FILE CHROMIUM [TIMEOUT_SECONDS]

Serves FOLDER on 127.0.0.1 at a free port with a page that plays FILE muted until it passes
1.5 s, draws the picture it shows as a 32x24 area-scaled thumbnail into a canvas, pauses and
posts currentTime (read when the picture was drawn), the video size and the thumbnail's grey
values back. Prints that report on standard output (lines "currentTime T", "size W H",
"grey V..." or one line "error WHY"); stops Chromium and the server before it exits. Exit
status 0 with a report, 1 without one.
"""
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading

PAGE = """<!doctype html>
<html><body>
<video id="v" muted playsinline src="%s"></video>
<canvas id="c" width="32" height="24"></canvas>
<script>
const v = document.getElementById('v');
const c = document.getElementById('c');
let sent = false;
function post(report) {
  if (sent) return;
  sent = true;
  fetch('/result', {method: 'POST', body: JSON.stringify(report)});
}
v.addEventListener('error', () => post({error: v.error ? v.error.code + ' ' + v.error.message : 'error'}));
// Each presented picture: the first one past 1.5 s is drawn (at that moment it is the picture
// the element shows), then playback pauses.
function onFrame(now, frame) {
  if (frame.mediaTime <= 1.5) {
    v.requestVideoFrameCallback(onFrame);
    return;
  }
  // The picture at its own size, then each of the 32x24 cells the mean of its pixels (an
  // area-scaled thumbnail, as the reference is made).
  const w = v.videoWidth, h = v.videoHeight;
  const full = document.createElement('canvas');
  full.width = w;
  full.height = h;
  const g = full.getContext('2d', {willReadFrequently: true});
  g.drawImage(v, 0, 0, w, h);
  const drawnAt = v.currentTime;
  v.pause();
  const rgba = g.getImageData(0, 0, w, h).data;
  const grey = [];
  for (let row = 0; row < 24; ++row) {
    for (let col = 0; col < 32; ++col) {
      let sum = 0, count = 0;
      for (let y = Math.floor(row * h / 24); y < Math.floor((row + 1) * h / 24); ++y) {
        for (let x = Math.floor(col * w / 32); x < Math.floor((col + 1) * w / 32); ++x) {
          const i = 4 * (y * w + x);
          sum += 0.299 * rgba[i] + 0.587 * rgba[i + 1] + 0.114 * rgba[i + 2];
          ++count;
        }
      }
      grey.push(sum / count);
    }
  }
  const thumb = c.getContext('2d');
  const cells = thumb.createImageData(32, 24);
  grey.forEach((value, i) => { cells.data.fill(Math.round(value), 4 * i, 4 * i + 3); cells.data[4 * i + 3] = 255; });
  thumb.putImageData(cells, 0, 0);
  post({currentTime: drawnAt, width: v.videoWidth, height: v.videoHeight, grey: grey});
}
v.requestVideoFrameCallback(onFrame);
v.play().catch(e => post({error: 'play: ' + e}));
setTimeout(() => post({error: 'timeout', currentTime: v.currentTime}), 30000);
</script></body></html>
"""


def main():
    folder, name, chromium = sys.argv[1], sys.argv[2], sys.argv[3]
    timeout = float(sys.argv[4]) if len(sys.argv) > 4 else 60.0
    report = {}
    got = threading.Event()

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=folder, **kwargs)

        def log_message(self, *args):
            pass

        def do_GET(self):
            if self.path.startswith("/page.html"):
                body = (PAGE % name).encode()
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
            super().do_GET()

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            data = self.rfile.read(length)
            self.send_response(204)
            self.end_headers()
            if self.path == "/result" and not got.is_set():
                report.update(json.loads(data))
                got.set()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    port = server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()
    profile = tempfile.mkdtemp(prefix="orx-chromium-")
    browser = subprocess.Popen(
        [chromium, "--headless", "--no-sandbox", "--autoplay-policy=no-user-gesture-required",
         "--disable-gpu", "--no-first-run", "--user-data-dir=" + profile,
         "http://127.0.0.1:%d/page.html" % port],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        got.wait(timeout)
    finally:
        browser.kill()
        browser.wait()
        server.shutdown()
        server.server_close()
        subprocess.run(["rm", "-rf", profile])
    if not got.is_set():
        print("error no report from the page within %g s" % timeout)
        return 1
    if "error" in report:
        print("error %s" % report["error"])
        return 1
    print("currentTime %.6f" % report["currentTime"])
    print("size %d %d" % (report["width"], report["height"]))
    print("grey " + " ".join("%.3f" % value for value in report["grey"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
