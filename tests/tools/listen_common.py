"""Starting and stopping zq-listen from the tests."""
import re
import subprocess


class Listener:
    """zq-listen with ARGS, started and waited for until it listens."""

    def __init__(self, zq_listen, args):
        self.proc = subprocess.Popen([zq_listen] + args, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        first = self.proc.stderr.readline().decode("latin-1")
        m = re.search(r"listening on 127\.0\.0\.1:(\d+)", first)
        if not m:
            rest = self.proc.stderr.read().decode("latin-1")
            self.proc.wait(timeout=10)
            raise RuntimeError(f"zq-listen did not start: {first}{rest}")
        self.port = int(m.group(1))

    def finish(self, timeout=20):
        """Waits for the end; returns (status, stdout lines, stderr text)."""
        out, err = self.proc.communicate(timeout=timeout)
        return self.proc.returncode, out.decode("latin-1").splitlines(), err.decode("latin-1")


def strip_time(line):
    """'12:34:56.789  R/87\\1  pitch 1' without its time."""
    return re.sub(r"^\d\d:\d\d:\d\d\.\d\d\d  ", "", line)
