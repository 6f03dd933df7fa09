"""The release command and the release check, run as a vendor runs them, against a loopback server.
   release_test.py RELEASE_SH BUILD_DIR ARCH PORT"""
import http.server, os, shutil, subprocess, sys, tempfile, threading, unittest

release, build, arch, port = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
signed, variants, root = build + '/signed/', build + '/variants/', build + '/test-pki/root.pem'
served = {}  # path -> (body, extra headers)


class Server(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body, headers = served.get(self.path, (None, {}))
        self.send_response(200 if body is not None else 404)
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header('Content-Length', str(len(body or b'')))
        self.end_headers()
        self.wfile.write(body or b'')

    def log_message(self, *args):
        pass


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def run(*args):
    done = subprocess.run(['bash', release, *args], capture_output=True, text=True, timeout=600)
    return done.returncode, done.stdout + done.stderr


class Make(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.out, self.previous = self.dir + '/out', self.dir + '/previous'
        os.makedirs(self.previous + '/update')
        shutil.copy(signed + 'v3200-vendor.exe', self.previous + '/update/Quorel.exe')

    def tearDown(self):
        shutil.rmtree(self.dir)

    def make(self, exe, *more):
        return run('make', exe, self.out, '--machine', arch, '--cafile', root, *more)

    def test_good_signed_release(self):
        status, said = self.make(signed + 'v3201-vendor.exe', '--previous', self.previous)
        self.assertEqual(0, status, said)
        self.assertEqual(b'3.2.0.1', read(self.out + '/update/update.txt'))
        self.assertEqual(read(signed + 'v3201-vendor.exe'), read(self.out + '/update/Quorel.exe'))

    def test_refusals_write_nothing(self):
        cut, huge = self.dir + '/cut.exe', self.dir + '/huge.exe'
        with open(cut, 'wb') as f:
            f.write(read(variants + 'v3201/Quorel.exe')[:-4096])
        shutil.copy(variants + 'v3201/Quorel.exe', huge)
        os.truncate(huge, 64 * 1024 * 1024 + 1)
        served['/old/update/Quorel.exe'] = (read(signed + 'v3200-vendor.exe'), {})
        url = 'http://127.0.0.1:%d/old/update/' % port
        for exe, more, why in [
                (cut, [], 'is not a whole %s program' % arch),
                (variants + 'vnone/Quorel.exe', [], 'has no version'),
                (huge, [], 'every installed copy refuses more than 64 MB'),
                (signed + 'v3201-forged.exe', [], 'does not verify against'),
                (signed + 'v3200-vendor.exe', ['--previous', self.previous], 'the installed copies of 3.2.0.0 would never'),
                (variants + 'v3201/Quorel.exe', ['--previous', self.previous], 'unsigned after the signed release 3.2.0.0'),
                (signed + 'v3201-other.exe', ['--previous', url], 'every installed copy signed by "')]:
            status, said = self.make(exe, *more)
            self.assertNotEqual(0, status, why)
            self.assertEqual(1, said.count('\n'), said)
            self.assertIn('release: refused: ', said)
            self.assertIn(why, said)
            self.assertFalse(os.path.exists(self.out), why)


class Check(unittest.TestCase):
    def test_each_served_release_gives_its_line_and_status(self):
        good = read(signed + 'v3201-vendor.exe')
        for version, exe, headers, expected, status in [
                (b'3.2.0.1', good, {}, 'will update: a copy of 3.2.0.0 of that publisher takes 3.2.0.1', 0),
                (b'3.2.0.1\r\n', good, {}, 'holds a CRLF line break', 1),
                (b'\xef\xbb\xbf3.2.0.1', good, {}, 'starts with a byte-order mark', 1),
                (b'3.2.0.1', read(variants + 'v3210/Quorel.exe'), {}, 'refuses the served Quorel.exe by its version rule', 1),
                (b'3.2.0.1', read(variants + 'v3201/Quorel.exe'), {}, 'by its publisher rule', 1),
                (b'3.2.0.1', read(signed + 'v3201-other.exe'), {}, 'by its publisher rule', 1),
                (b'3.2.0.1', good, {'Cache-Control': 'max-age=86400'}, 'Cache-Control "max-age=86400"', 1)]:
            served['/update/update.txt'] = (version, headers)
            served['/update/Quorel.exe'] = (exe, {})
            said = run('check', 'http://127.0.0.1:%d/update/' % port, '--as', signed + 'v3200-vendor.exe',
                       '--cafile', root, '--machine', arch)
            self.assertEqual(status, said[0], said[1])
            self.assertIn(expected, said[1])
            self.assertEqual(status == 0, said[1].splitlines()[-1].startswith('will update'), said[1])


if __name__ == '__main__':
    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), Server)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    unittest.main(argv=sys.argv[:1], verbosity=2)
