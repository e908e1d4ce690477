// nodemailer's pooled transport: N small mails to the sink, all queued at
// once, over C connections, for comparison with bench_send.
// Usage: node bench_send_nodemailer.js PORT [N] [C]
// (nodemailer is found through NODE_PATH; scripts/bench-send.sh installs it).
'use strict';
const nodemailer = require('nodemailer');

const BODY = 'Dear reader,\n\nthis is a short mail of a few lines, ' +
    'as a mail merge sends them.\n\nRegards\n';

async function main() {
    const port = parseInt(process.argv[2], 10);
    const count = process.argv[3] ? parseInt(process.argv[3], 10) : 20000;
    const connections = process.argv[4] ? parseInt(process.argv[4], 10) : 1;
    const transport = nodemailer.createTransport({
        host: '127.0.0.1', port, secure: false, ignoreTLS: true,
        pool: true, maxConnections: connections, maxMessages: Infinity,
    });
    const start = process.hrtime.bigint();
    const sent = [];
    for (let i = 1; i <= count; i++) {
        sent.push(transport.sendMail({
            from: '"Bench Sender" <sender@example.com>',
            to: `r${i}@example.org`,
            subject: `Hello ${i}`,
            text: BODY,
        }));
    }
    await Promise.all(sent);
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    transport.close();
    const label = `nodemailer ${connections} conn`;
    console.log(`${label.padEnd(26)} ${String(count).padStart(6)} mails in ${seconds.toFixed(2).padStart(7)} s: ` +
        `${(count / seconds).toFixed(0).padStart(8)} mails/s`);
}

main().catch((e) => { console.error(e); process.exit(1); });
