#!/usr/bin/env python3
"""A small WebDriver client, enough for the page's tests: Chromium through chromedriver and
WebKitGTK through WebKitWebDriver speak WebDriver over HTTP, Firefox speaks it on its own
Marionette port. Each browser starts with a fresh profile on a free port, headless (WebKit on
the X display), in one process group with its driver, which the client ends as a whole when it
closes the browser, fails to start it or is terminated. As a command it opens one address and
prints the page's title once the page has set one of its own, which is how ?bench is read in
Firefox and WebKit:

    tests/web/webdriver.py chromium|firefox|webkit URL
"""
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

# WebDriver's commands by Marionette's names, with the method and the path under the session
# that HTTP gives each.
COMMANDS = {
    'Navigate': ('POST', 'url'),
    'GetTitle': ('GET', 'title'),
    'ExecuteScript': ('POST', 'execute/sync'),
    'PerformActions': ('POST', 'actions'),
}


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def wait_for(ready, what, seconds=120):
    """ready()'s first true value; a browser that never gets there fails the test, not hangs."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = ready()
        if value:
            return value
        time.sleep(0.05)
    raise RuntimeError(f'no {what} within {seconds} s')


def leave(number, frame):
    """Terminated or hung up, the client unwinds, so that its browsers are closed on the way:
    in a session of their own, they hear neither the terminal nor the group. A second signal
    would cut that short."""
    for ending in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(ending, signal.SIG_IGN)
    sys.exit(128 + number)


class Browser:
    """One browser and its session."""

    def __init__(self, engine, seconds=120):
        """Starts the engine's browser and a session in it, waiting for its driver that many
        seconds; a start that fails ends whatever it started before it raises."""
        for number in (signal.SIGTERM, signal.SIGHUP):
            if signal.getsignal(number) == signal.SIG_DFL:
                signal.signal(number, leave)
        self.profile = tempfile.mkdtemp(prefix='voidrunner-browser-')
        self.port, self.sent, self.process = free_port(), 0, None
        try:
            self.begin(engine, seconds)
        except BaseException:
            self.close()
            raise

    def begin(self, engine, seconds):
        if engine == 'firefox':
            with open(os.path.join(self.profile, 'user.js'), 'w') as prefs:
                prefs.write(f'user_pref("marionette.port", {self.port});\n')
            self.start('firefox-esr', '--headless', '--marionette', '--no-remote', '--profile',
                       self.profile)
            self.wire = wait_for(self.connect, 'Marionette port', seconds)
            self.wire.settimeout(300)
            self.read()  # Marionette's greeting
            self.call('NewSession', {'capabilities': {}}, prefix='WebDriver:')
            return
        self.http = http.client.HTTPConnection('127.0.0.1', self.port, timeout=300)
        if engine == 'chromium':
            self.start('chromedriver', f'--port={self.port}')
            options = {'goog:chromeOptions': {'binary': shutil.which('chromium'), 'args': [
                '--headless', '--no-sandbox', '--disable-gpu', '--window-size=1280,800',
                f'--user-data-dir={self.profile}']}}
        else:
            self.start('WebKitWebDriver', f'--port={self.port}')
            options = {'webkitgtk:browserOptions': {'args': ['--automation']}}
        wait_for(self.ready, 'WebDriver server', seconds)
        self.session = self.request('POST', '/session',
                                    {'capabilities': {'alwaysMatch': options}})['sessionId']

    def start(self, *command):
        """The driver, or Firefox, as the leader of a new process group, which the browser's
        processes join."""
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, cwd=self.profile,
                                        start_new_session=True)

    def connect(self):
        try:
            return socket.create_connection(('127.0.0.1', self.port))
        except OSError:
            return None

    def ready(self):
        try:
            return self.request('GET', '/status')['ready']
        except (OSError, http.client.HTTPException):
            self.http.close()
            return False

    def request(self, method, path, body=None):
        self.http.request(method, path, json.dumps(body) if body is not None else None)
        answer = json.loads(self.http.getresponse().read())['value']
        if isinstance(answer, dict) and 'error' in answer:
            raise RuntimeError(f'{path}: {answer["error"]}: {answer.get("message")}')
        return answer

    def receive(self, size):
        data = self.wire.recv(size)
        if not data:
            raise ConnectionError('Firefox closed its Marionette port')
        return data

    def read(self):
        """One Marionette message: its length in decimal digits, a colon, then that much JSON."""
        length = b''
        while not length.endswith(b':'):
            length += self.receive(1)
        data = b''
        while len(data) < int(length[:-1]):
            data += self.receive(int(length[:-1]) - len(data))
        return json.loads(data)

    def call(self, command, parameters=None, prefix='WebDriver:'):
        if not hasattr(self, 'wire'):
            method, path = COMMANDS[command]
            return self.request(method, f'/session/{self.session}/{path}',
                                parameters if method == 'POST' else None)
        self.sent += 1
        data = json.dumps([0, self.sent, prefix + command, parameters or {}]).encode()
        self.wire.sendall(str(len(data)).encode() + b':' + data)
        _, _, error, result = self.read()
        if error:
            raise RuntimeError(f'{command}: {error["error"]}: {error.get("message")}')
        return result.get('value') if isinstance(result, dict) else result

    def script(self, body, *arguments):
        return self.call('ExecuteScript', {'script': body, 'args': list(arguments)})

    def close(self):
        """Ends the browser, and its driver, whatever state they are in: the session if there is
        one, then every process of the group, asked first and then made to. A signal that comes
        meanwhile takes effect once they are gone, and a session that does not answer holds
        nothing up for long."""
        endings = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
        came = []
        handlers = {number: signal.signal(number, lambda number, frame: came.append(number))
                    for number in endings}
        if hasattr(self, 'wire'):
            self.wire.settimeout(10)
        if hasattr(self, 'http') and self.http.sock:
            self.http.sock.settimeout(10)
        try:
            if hasattr(self, 'wire'):
                self.call('Quit', {'flags': ['eForceQuit']}, prefix='Marionette:')
            elif hasattr(self, 'session'):
                self.request('DELETE', f'/session/{self.session}')
        except (OSError, RuntimeError, http.client.HTTPException):
            pass
        finally:
            if self.process:
                self.signal(signal.SIGTERM)
                try:
                    self.process.wait(10)
                except subprocess.TimeoutExpired:
                    pass
                self.signal(signal.SIGKILL)  # whatever of the group is left
                self.process.wait()
            shutil.rmtree(self.profile, ignore_errors=True)
            for number, handler in handlers.items():
                signal.signal(number, handler)
            if came:
                signal.raise_signal(came[0])

    def signal(self, number):
        try:
            os.killpg(self.process.pid, number)
        except ProcessLookupError:
            pass  # the group has ended


if __name__ == '__main__':
    browser = Browser(sys.argv[1])
    try:
        browser.call('Navigate', {'url': sys.argv[2]})
        print(wait_for(lambda: (title := browser.call('GetTitle')) != 'Voidrunner 3D' and title,
                       'title'))
    finally:
        browser.close()
