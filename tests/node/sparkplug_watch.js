// The end-to-end tests' independent peer: subscribes to a broker's Sparkplug topics and prints
// every message, decoded by the Eclipse reference decoder, as one line; with --send it
// publishes one command instead (metrics given as JSON) and ends.
//   node sparkplug_watch.js <url> [--send <topic> <metrics-json>]
'use strict';
const mqtt = require('mqtt');
const sparkplug = require('sparkplug-payload').get('spBv1.0');

const [url, mode, topic, metricsJson] = process.argv.slice(2);

// Longs as numbers (bdSeq, aliases, time stamps all fit).
function plain(value) {
  if (value !== null && typeof value === 'object' && typeof value.toNumber === 'function') {
    return value.toNumber();
  }
  if (Array.isArray(value)) return value.map(plain);
  if (value !== null && typeof value === 'object' && !Buffer.isBuffer(value)) {
    const out = {};
    for (const [k, v] of Object.entries(value)) out[k] = plain(v);
    return out;
  }
  return value;
}

const client = mqtt.connect(url, { clientId: 'watch-' + process.pid, reconnectPeriod: 200 });
client.on('error', (e) => process.stderr.write('mqtt: ' + e.message + '\n'));

if (mode === '--send') {
  client.on('connect', () => {
    const payload = sparkplug.encodePayload({ timestamp: Date.now(), metrics: JSON.parse(metricsJson) });
    client.publish(topic, Buffer.from(payload), { qos: 0 }, () => client.end(false, () => process.exit(0)));
  });
} else {
  client.on('connect', () => {
    client.subscribe('spBv1.0/#', { qos: 1 }, () => process.stdout.write('subscribed\n'));
  });
  // Aliases by device (or node) topic, from the births, as a consumer keeps them.
  const names = new Map();
  client.on('message', (t, bytes) => {
    if (t.startsWith('spBv1.0/STATE/')) return;
    const parts = t.split('/');
    const type = parts[2];
    const key = parts[1] + '/' + parts[3] + '/' + (parts[4] || '');
    let decoded;
    try {
      decoded = plain(sparkplug.decodePayload(bytes));
    } catch (e) {
      process.stdout.write(t + ' undecodable ' + e.message + '\n');
      return;
    }
    if (type === 'NBIRTH' || type === 'DBIRTH') {
      const map = new Map();
      for (const m of decoded.metrics || []) if (m.alias !== undefined) map.set(m.alias, m.name);
      names.set(key, map);
    }
    // One line: the topic, seq, then each metric as name:type=value, with " H" when
    // historical and " q=<n>" for a Quality property.
    let line = t + ' seq=' + (decoded.seq === undefined ? '-' : decoded.seq) + ' |';
    for (const m of decoded.metrics || []) {
      const name = m.name !== undefined ? m.name : (names.get(key) || new Map()).get(m.alias) || '#' + m.alias;
      line += ' ' + name + ':' + m.type + '=' + JSON.stringify(m.value);
      if (m.isHistorical) line += ' H';
      if (m.properties && m.properties.Quality) line += ' q=' + m.properties.Quality.value;
      line += ' |';
    }
    process.stdout.write(line + '\n');
  });
}
