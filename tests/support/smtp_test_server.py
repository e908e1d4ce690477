#!/usr/bin/python3
"""SMTP server for the mail tests and the send benchmark, on 127.0.0.1
unless another address of this machine is named.

Prints "PORT <n>" once it listens on a free port. Every accepted message is
written to the output folder as NNNN.eml (the data as received, CRLF line
ends, dots unstuffed) followed by NNNN.json (envelope, TLS, AUTH, connection
number), unless --discard; "connections" holds the number of connections
accepted so far, "logins" the number of AUTH attempts and "stalled" the
number of messages left unanswered (--stall-data).

XOAUTH2 and OAUTHBEARER take a token that is current for the user: one of
the "user token" lines of --token-file (read at each login, so a test may
rewrite it to expire a token), or one that the OAuth introspection address
--introspect answers {"active": true, "username": user} for. A refused
token gets the providers' error challenge (334 and base64 JSON) and, once
the client answered it, 535 5.7.8.
"""
import argparse
import asyncio
import base64
import collections
import json
import os
import re
import ssl
import sys
import urllib.parse
import urllib.request

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword

MECHANISMS = ('PLAIN', 'LOGIN', 'XOAUTH2', 'OAUTHBEARER')


def write_atomically(path, data):
    temporary = path + '.part'
    with open(temporary, 'wb') as f:
        f.write(data)
    os.replace(temporary, path)


class State:
    def __init__(self, options):
        self.options = options
        self.connections = 0
        self.messages = 0
        self.logins = 0
        self.stalled = 0
        self.reject = re.compile(options.reject_pattern) if options.reject_pattern else None

    def logged_in(self):
        self.logins += 1
        write_atomically(os.path.join(self.options.out, 'logins'), str(self.logins).encode())

    def connected(self):
        self.connections += 1
        write_atomically(os.path.join(self.options.out, 'connections'),
                         str(self.connections).encode())
        return self.connections


Login = collections.namedtuple('Login', 'login mechanism')  # for the message's record


def token_response(mechanism, data, port):
    """(user, token) of a XOAUTH2 or OAUTHBEARER (RFC 7628) response, or None."""
    if mechanism == 'XOAUTH2':
        match = re.fullmatch(r'user=([^\x01]+)\x01auth=Bearer ([^\x01 ]+)\x01\x01', data)
        return match and match.groups()
    match = re.fullmatch(r'n,a=((?:[^,=\x01]|=2C|=3D)+),\x01host=[^\x01]+\x01port=%d\x01'
                         r'auth=Bearer ([^\x01 ]+)\x01\x01' % port, data)
    return match and (match[1].replace('=2C', ',').replace('=3D', '='), match[2])


class Handler:
    def __init__(self, state):
        self.state = state

    async def token_user(self, token):
        """The user the token is current for, or None."""
        options = self.state.options
        if options.token_file:
            with open(options.token_file, encoding='utf-8') as f:
                users = dict(reversed(line.split()) for line in f if len(line.split()) == 2)
            if token in users:
                return users[token]
        if options.introspect:
            address = '%s%stoken=%s' % (options.introspect, '&' if '?' in options.introspect else '?',
                                       urllib.parse.quote(token, safe=''))

            def ask():
                with urllib.request.urlopen(address, timeout=10) as answer:
                    return json.load(answer)
            try:
                answer = await asyncio.to_thread(ask)
            except (OSError, ValueError) as error:
                print('introspection failed: %s' % error, file=sys.stderr, flush=True)
                return None
            return answer.get('username') if answer.get('active') is True else None
        return None

    async def token_login(self, server, args, mechanism, cancel):
        self.state.logged_in()
        try:
            data = base64.b64decode(args[1], validate=True).decode()
        except (IndexError, ValueError):
            data = ''
        fields = token_response(mechanism, data, server.transport.get_extra_info('sockname')[1])
        if not fields:
            await server.push('501 5.5.2 Malformed %s response' % mechanism)
        elif await self.token_user(fields[1]) == fields[0]:
            return AuthResult(success=True, auth_data=Login(fields[0], mechanism))
        else:
            status = 'invalid_token' if mechanism == 'OAUTHBEARER' else '401'
            answer = await server.challenge_auth(json.dumps(
                {'status': status, 'schemes': 'bearer', 'scope': 'https://mail.example/'}))
            if answer is not MISSING:  # else it was answered already
                await server.push('535 5.7.8 Username and Password not accepted (token)' if answer == cancel
                                  else '501 5.5.2 Expected %r after the error challenge' % cancel)
        return AuthResult(success=False, handled=True)

    async def auth_XOAUTH2(self, server, args):
        return await self.token_login(server, args, 'XOAUTH2', b'')

    async def auth_OAUTHBEARER(self, server, args):
        return await self.token_login(server, args, 'OAUTHBEARER', b'\x01')

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.state.options.pipelining:
            responses.insert(len(responses) - 1, '250-PIPELINING')
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if (address.lower() in (a.lower() for a in self.state.options.reject)
                or (self.state.reject and self.state.reject.search(address))):
            # Two lines, so the client must join a multi-line reply.
            return ('550-5.1.1 <%s>: Recipient address rejected\r\n'
                    '550 5.1.1 User unknown in this test' % address)
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        if self.state.options.stall_data:
            self.state.stalled += 1
            write_atomically(os.path.join(self.state.options.out, 'stalled'),
                             str(self.state.stalled).encode())
            await asyncio.sleep(3600)
        self.state.messages += 1
        server.messages_here += 1
        if self.state.options.discard:
            return '250 Message accepted for delivery'
        base = os.path.join(self.state.options.out, '%04d' % self.state.messages)
        write_atomically(base + '.eml', envelope.original_content)
        tls = (session.ssl is not None
               or server.transport.get_extra_info('ssl_object') is not None)
        meta = {
            'mail_from': envelope.mail_from,
            'rcpt_tos': envelope.rcpt_tos,
            'smtp_utf8': envelope.smtp_utf8,
            'tls': tls,
            'authenticated': bool(session.authenticated),
            'login': getattr(session.auth_data, 'login', None),
            'mechanism': getattr(session.auth_data, 'mechanism', None),
            'connection': server.connection_number,
        }
        write_atomically(base + '.json', json.dumps(meta).encode())
        return '250 Message accepted for delivery'


class TestSMTP(SMTP):
    def __init__(self, state, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.state = state
        self.messages_here = 0
        self.connection_number = 0

    def connection_made(self, transport):
        if self.transport is None:  # not the second call after STARTTLS
            self.connection_number = self.state.connected()
        super().connection_made(transport)

    def _drop_due(self):
        after = self.state.options.drop_after
        return after > 0 and self.messages_here >= after

    async def smtp_EHLO(self, hostname):
        if self.state.options.no_ehlo:
            await self.push('502 5.5.1 EHLO not available, try HELO')
            return
        await super().smtp_EHLO(hostname)

    async def smtp_MAIL(self, arg):
        if self.state.options.drop_mode == 'next' and self._drop_due():
            self.transport.close()  # without a word, as a vanished peer would
            return
        await super().smtp_MAIL(arg)

    async def smtp_DATA(self, arg):
        await super().smtp_DATA(arg)
        if self.state.options.drop_mode == 'reply' and self._drop_due() and self.transport:
            self.transport.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--out', required=True)
    parser.add_argument('--tls', choices=['none', 'starttls', 'implicit'], default='none')
    parser.add_argument('--cert')
    parser.add_argument('--key')
    parser.add_argument('--user')
    parser.add_argument('--password')
    parser.add_argument('--mechanisms', default='PLAIN,LOGIN')
    parser.add_argument('--token-file')
    parser.add_argument('--introspect')
    parser.add_argument('--reject', action='append', default=[])
    parser.add_argument('--drop-after', type=int, default=0)
    parser.add_argument('--drop-mode', choices=['reply', 'next'], default='reply')
    parser.add_argument('--silent', action='store_true')
    parser.add_argument('--stall-data', action='store_true')
    parser.add_argument('--no-ehlo', action='store_true')
    parser.add_argument('--pipelining', action='store_true')
    parser.add_argument('--smtputf8', action='store_true')
    parser.add_argument('--reject-pattern')
    parser.add_argument('--discard', action='store_true')
    parser.add_argument('--host', default='127.0.0.1')
    options = parser.parse_args()
    state = State(options)

    context = None
    if options.tls != 'none':
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(options.cert, options.key)

    def authenticate(server, session, envelope, mechanism, data):
        state.logged_in()
        ok = (isinstance(data, LoginPassword)
              and data.login.decode() == options.user
              and data.password.decode() == options.password)
        return AuthResult(success=ok, handled=False, auth_data=Login(options.user, mechanism))

    smtp_options = dict(data_size_limit=None, hostname='test.invalid', auth_require_tls=False,
                        enable_SMTPUTF8=options.smtputf8)
    if options.tls == 'starttls':
        smtp_options.update(tls_context=context, require_starttls=True)
    wanted = {m.strip().upper() for m in options.mechanisms.split(',')}
    smtp_options.update(auth_exclude_mechanism=[m for m in MECHANISMS if m not in wanted])
    if options.user:
        smtp_options.update(authenticator=authenticate)
    if options.user or options.token_file or options.introspect:
        smtp_options.update(auth_required=True)

    async def silent_client(reader, writer):
        state.connected()
        while await reader.read(65536):
            pass
        writer.close()

    async def serve():
        loop = asyncio.get_running_loop()
        handler = Handler(state)
        implicit = context if options.tls == 'implicit' else None
        if options.silent:
            server = await asyncio.start_server(silent_client, options.host, 0)
        else:
            server = await loop.create_server(
                lambda: TestSMTP(state, handler, loop=loop, **smtp_options),
                options.host, 0, ssl=implicit)
        port = server.sockets[0].getsockname()[1]
        print('PORT %d' % port, flush=True)
        async with server:
            await server.serve_forever()

    try:
        asyncio.run(serve())
    except KeyboardInterrupt:
        pass


if __name__ == '__main__':
    sys.exit(main())
