#!/usr/bin/python3
"""OAuth2 authorization server for the sign-in tests, on 127.0.0.1 and a
free port; prints "PORT <n>" once it listens.

  GET  /authorize   code flow with PKCE (S256): 302 back to the loopback
                    redirect_uri with code and state (or error=access_denied
                    in the "deny" mode)
  POST /token       authorization_code, refresh_token and device_code grants
  POST /device      device authorization (interval 1)
  GET  /introspect?token=   {"active": bool, "username": ...}
  GET  /control?... the test's hand: approve=<user_code>, deny=<user_code>,
                    revoke=1 (all refresh and access tokens),
                    life=<seconds>, rotate=0|1, mode=<name>, expires=<seconds
                    of a device code>, reset=1, issue=1 (a grant as the token
                    endpoint gives it, under "grant"); always answers the
                    counters.

Modes: "deny" (authorization refused), "refuse_exchange" (400
invalid_grant for every code), "garbage" (the token endpoint answers
text/html), "slow_down" (the first device poll is told to slow down),
"verification_url" (device answer names its page as Microsoft does).
"""
import argparse
import base64
import hashlib
import json
import secrets
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlencode, urlsplit

ACCOUNT = 'signed.in@example.test'
CLIENT_ID = 'corvanta-test-client'


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.life = 3600
        self.rotate = False
        self.mode = ''
        self.device_life = 600
        self.codes = {}      # code -> (redirect_uri, challenge)
        self.access = {}     # token -> expiry
        self.refresh = {}    # token -> revoked
        self.devices = {}    # device_code -> dict
        self.counters = {'exchanges': 0, 'refreshes': 0, 'polls': 0, 'too_fast': 0}

    def issue(self, refresh=None):
        access = 'at-' + secrets.token_urlsafe(12)
        answer = {'access_token': access, 'token_type': 'Bearer', 'expires_in': self.life}
        if refresh is None or self.rotate:
            if refresh is not None:
                self.refresh[refresh] = True
            refresh = 'rt-' + secrets.token_urlsafe(12)
            self.refresh[refresh] = False
            answer['refresh_token'] = refresh
        self.access[access] = time.monotonic() + self.life
        claims = base64.urlsafe_b64encode(json.dumps({'email': ACCOUNT}).encode()).rstrip(b'=')
        answer['id_token'] = 'eyJhbGciOiJub25lIn0.' + claims.decode() + '.'
        return answer


STATE = State()


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def answer(self, status, body, content_type='application/json', headers=()):
        data = json.dumps(body).encode() if content_type == 'application/json' else body.encode()
        self.send_response(status)
        self.send_header('Content-Type', content_type)
        self.send_header('Content-Length', str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def refuse(self, error, description, status=400):
        self.answer(status, {'error': error, 'error_description': description})

    def do_GET(self):
        url = urlsplit(self.path)
        query = {k: v[-1] for k, v in parse_qs(url.query).items()}
        with STATE.lock:
            if url.path == '/authorize':
                return self.authorize(query)
            if url.path == '/introspect':
                entry = STATE.access.get(query.get('token', ''))
                active = entry is not None and entry > time.monotonic()
                return self.answer(200, {'active': active, 'username': ACCOUNT if active else None})
            if url.path == '/control':
                return self.control(query)
        self.answer(404, 'no such page', 'text/plain')

    def do_POST(self):
        length = int(self.headers.get('Content-Length', 0))
        form = {k: v[-1] for k, v in parse_qs(self.rfile.read(length).decode()).items()}
        with STATE.lock:
            if self.headers.get('Content-Type') != 'application/x-www-form-urlencoded':
                return self.refuse('invalid_request', 'not a form')
            if form.get('client_id') != CLIENT_ID:
                return self.refuse('invalid_client', 'unknown client', 401)
            if self.path == '/token':
                return self.token(form)
            if self.path == '/device':
                return self.device(form)
        self.answer(404, 'no such page', 'text/plain')

    def authorize(self, query):
        redirect = query.get('redirect_uri', '')
        target = urlsplit(redirect)
        problems = [name for name, ok in (
            ('client_id', query.get('client_id') == CLIENT_ID),
            ('response_type', query.get('response_type') == 'code'),
            ('redirect_uri', target.scheme == 'http' and target.hostname in ('127.0.0.1', '::1')),
            ('code_challenge_method', query.get('code_challenge_method') == 'S256'),
            ('code_challenge', len(query.get('code_challenge', '')) == 43),
            ('state', bool(query.get('state')))) if not ok]
        if problems:
            return self.answer(400, 'bad authorization request: ' + ', '.join(problems), 'text/plain')
        if STATE.mode == 'deny':
            back = {'error': 'access_denied', 'error_description': 'The user declined: 100% sure + certain',
                    'state': query['state']}
        else:
            code = secrets.token_urlsafe(16)
            STATE.codes[code] = (redirect, query['code_challenge'])
            back = {'code': code, 'state': query['state']}
        self.answer(302, '', 'text/plain', [('Location', redirect + '?' + urlencode(back))])

    def token(self, form):
        grant = form.get('grant_type')
        counter = {'authorization_code': 'exchanges', 'refresh_token': 'refreshes'}.get(grant)
        if counter:
            STATE.counters[counter] += 1
        if STATE.mode == 'garbage':
            return self.answer(200, '<html>maintenance</html>', 'text/html')
        if grant == 'authorization_code':
            redirect, challenge = STATE.codes.pop(form.get('code', ''), (None, None))
            verifier = form.get('code_verifier', '')
            computed = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b'=')
            if STATE.mode == 'refuse_exchange' or redirect is None:
                return self.refuse('invalid_grant', 'The code is unknown or was used')
            if redirect != form.get('redirect_uri') or not 43 <= len(verifier) <= 128 \
                    or computed.decode() != challenge:
                return self.refuse('invalid_grant', 'The code verifier or redirect does not match')
            return self.answer(200, STATE.issue())
        if grant == 'refresh_token':
            token = form.get('refresh_token', '')
            if STATE.refresh.get(token, True):
                return self.refuse('invalid_grant', 'The refresh token was revoked')
            return self.answer(200, STATE.issue(token))
        if grant == 'urn:ietf:params:oauth:grant-type:device_code':
            return self.poll(form)
        self.refuse('unsupported_grant_type', grant or 'none')

    def device(self, form):
        device_code = secrets.token_urlsafe(16)
        user_code = secrets.token_hex(4).upper()
        STATE.devices[device_code] = {'user_code': user_code, 'status': 'pending', 'interval': 1,
                                      'last': None, 'expiry': time.monotonic() + STATE.device_life,
                                      'polls': 0}
        page = 'verification_url' if STATE.mode == 'verification_url' else 'verification_uri'
        self.answer(200, {'device_code': device_code, 'user_code': user_code,
                          page: 'http://127.0.0.1:%d/device-page' % self.server.server_port,
                          'expires_in': STATE.device_life, 'interval': 1})

    def poll(self, form):
        STATE.counters['polls'] += 1
        device = STATE.devices.get(form.get('device_code', ''))
        if device is None:
            return self.refuse('invalid_grant', 'unknown device code')
        now = time.monotonic()
        too_fast = device['last'] is not None and now - device['last'] < device['interval'] * 0.9
        device['last'] = now
        device['polls'] += 1
        if too_fast:
            STATE.counters['too_fast'] += 1
        if too_fast or (STATE.mode == 'slow_down' and device['polls'] == 1):
            device['interval'] += 5
            return self.refuse('slow_down', 'polling too often')
        if now > device['expiry']:
            return self.refuse('expired_token', 'the device code expired')
        if device['status'] == 'denied':
            return self.refuse('access_denied', 'the user declined')
        if device['status'] == 'approved':
            device['status'] = 'used'
            return self.answer(200, STATE.issue())
        if device['status'] == 'used':
            return self.refuse('invalid_grant', 'the device code was used')
        return self.refuse('authorization_pending', 'waiting for the user')

    def control(self, query):
        if query.get('reset'):
            STATE.reset()
        for action, status in (('approve', 'approved'), ('deny', 'denied')):
            for device in STATE.devices.values():
                if device['user_code'] == query.get(action):
                    device['status'] = status
        if query.get('revoke'):
            for token in STATE.refresh:
                STATE.refresh[token] = True
            STATE.access.clear()
        if 'life' in query:
            STATE.life = int(query['life'])
        if 'expires' in query:
            STATE.device_life = int(query['expires'])
        if 'rotate' in query:
            STATE.rotate = query['rotate'] == '1'
        if 'mode' in query:
            STATE.mode = query['mode']
        answer = dict(STATE.counters)
        if query.get('issue'):
            answer['grant'] = STATE.issue()
        self.answer(200, answer)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--host', default='127.0.0.1')
    parser.add_argument('--port', type=int, default=0)
    options = parser.parse_args()
    server = ThreadingHTTPServer((options.host, options.port), Handler)
    server.daemon_threads = True
    print('PORT %d' % server.server_port, flush=True)
    server.serve_forever()


if __name__ == '__main__':
    sys.exit(main())
